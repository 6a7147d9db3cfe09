/*
 * yelkpack: packs the ten client files into a payload and its expected-CRC
 * header, lists and verifies installers and payloads, and extracts them.
 */
#include "tools/yelkpack.h"

#include <cstdio>

#include "common/session.h"
#include "payload/marker.h"

static int Run(int argc, char **argv);

/* What a command printed must have reached its output: a full disk or a
   closed pipe behind stdout is a failed write, not success. Only extract's
   answer stands as it is: its files are installed (or not) whatever became
   of its one line. */
int main(int argc, char **argv)
{
    int code = Run(argc, argv);
    bool extract = argc >= 2 && std::string(argv[1]) == "extract";
    if ((fflush(stdout) != 0 || ferror(stdout)) && !extract && (code == kExitOk || code == kExitRefused))
        return Report(kExitIo, "standard output: cannot write what was printed");
    return code;
}

static int Run(int argc, char **argv)
{
    if (argc < 2)
        return UsageError("");
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help")
        return HelpCommand(command == "help" ? args : std::vector<std::string>());
    if (command == "--version") {
        printf("%s\n", kToolVersion);
        return kExitOk;
    }
    if (!IsCommand(command))
        return UsageError("");
    /* COMMAND --help anywhere among its arguments asks for its help. */
    for (const std::string &a : args)
        if (a == "--help" || a == "-h")
            return HelpCommand({command});

    BuildMarker(session.marker);   /* the matcher's marker, as the installer builds it */
    if (command == "pack")
        return PackCommand(args);
    if (command == "list")
        return ListCommand(args);
    if (command == "verify")
        return VerifyCommand(args);
    return ExtractCommand(args);
}
