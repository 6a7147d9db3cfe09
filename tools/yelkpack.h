/*
 * The subcommands of yelkpack and what they share: exit codes (one table for
 * all of them), the one-line report, usage and help, whole-file reading and
 * the tool's own setting of the expected CRC.
 */
#ifndef YELK_TOOLS_YELKPACK_H
#define YELK_TOOLS_YELKPACK_H

#include <cstdint>
#include <string>
#include <vector>

enum {
    kExitOk = 0,          /* done */
    /* 1..15: the installation failed with error [n] */
    kExitUsage = 64,      /* wrong command line */
    kExitRefused = 65,    /* input refused: a missing or bad client file, a failed check */
    kExitIo = 74,         /* reading or writing failed */
    kExitBusy = 75,       /* extract: another run holds the destination folder */
    kExitUndone = 76      /* extract: a failed or stopped run could not be undone; its
                             journal stays for the next run */
};

/* Each takes the arguments after its name and returns the exit code. */
int PackCommand(const std::vector<std::string> &args);
int ListCommand(const std::vector<std::string> &args);
int VerifyCommand(const std::vector<std::string> &args);
int ExtractCommand(const std::vector<std::string> &args);
/* yelkpack help [COMMAND]: the usage of all commands, or one command's help,
   on stdout. */
int HelpCommand(const std::vector<std::string> &args);

/* True when name is one of the four commands above. */
bool IsCommand(const std::string &name);
/* Prints command's usage line (every command's when it is none) on stderr;
   returns kExitUsage. */
int UsageError(const char *command);
/* "yelkpack" and its version, as --version prints it. */
extern const char kToolVersion[];

/* Prints "yelkpack: " and the message as one line on stderr; returns code. */
int Report(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* When stderr is a terminal, shows "yelkpack: " and the message as the one
   progress line there, replacing the one before; otherwise does nothing. */
void ShowProgressLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Erases the progress line, if one is shown (Report does so first). */
void ClearProgressLine();

/* Reads a whole file; 0 and a report-ready reason on failure. */
int ReadWholeFile(const std::string &path, std::vector<uint8_t> *bytes, std::string *why);

/* What ExpectedPayloadCrc() answers in the tool. */
void SetExpectedPayloadCrc(uint32_t crc);

/* Last error box the core raised in the tool ([n] and its text); 0 if none. */
int LastErrorNumber();
const char *LastErrorText();

#endif
