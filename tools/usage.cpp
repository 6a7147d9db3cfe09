/* What yelkpack says about itself: each command's synopsis and help, the
   top-level usage and the version. */
#include "tools/yelkpack.h"

#include <cstdio>
#include <cstring>

const char kToolVersion[] = "yelkpack 5.9";

namespace {

struct CommandHelp {
    const char *name;
    const char *synopsis;   /* after "yelkpack " */
    const char *text;       /* what it does, its options */
};

const CommandHelp kCommands[] = {
    {"pack", "pack DIR -o PAYLOAD --crc-header FILE.h [--greedy]",
     "Codes the ten client files of DIR (yelk32.exe, yelk.hlp, primer.hlp, about.txt,\n"
     "history.txt, yelk.ini, macros.ini, menus.ini, hosts.ini, marks.ini; any case)\n"
     "into one payload, and writes the header that compiles its CRC into the\n"
     "installer.\n"
     "  -o PAYLOAD           the payload to write\n"
     "  --crc-header FILE.h  the header to write (defines YELK_PAYLOAD_CRC)\n"
     "  --greedy             longest match everywhere: faster, a little larger\n"
     "On a terminal it shows on stderr which member it is coding; when done it\n"
     "prints each member's size, packed size and ratio.\n"
     "Both outputs are written beside their names and moved into place only when\n"
     "both are complete: a pack that fails (74) leaves the earlier pair as it was.\n"
     "An output that is the other output or one of the client files, by any name\n"
     "(compared by device and inode), is a wrong command line (64); an output that\n"
     "exists and is no regular file, or a DIR that is no folder, is refused (65).\n"},
    {"list", "list FILE",
     "Shows what the installer's own marker matcher finds in an installer or a bare\n"
     "payload: the payload resource, whether the file is signed, each member's\n"
     "offset, coded and decoded size, the terminating pair, and the CRC as the\n"
     "installer computes it against the compiled-in value. A file that ends short\n"
     "of what its headers describe is shown with where it breaks off; headers that\n"
     "contradict each other are shown as damage. Only the first eleven members\n"
     "are kept: an eleventh already makes the file damaged.\n"},
    {"verify", "verify FILE",
     "Checks an installer as the build does after linking: the file is whole, the\n"
     "payload starts at its resource's first byte with no marker ahead of it, it\n"
     "splits into ten members and the terminating pair, and its CRC equals the\n"
     "compiled-in value. A signed installer is checked the same way (its\n"
     "certificate table follows the payload); the signature itself is not\n"
     "checked: osslsigncode verify does that. Also refused: damaged PE headers, a\n"
     "certificate table that overlaps the headers or a section, a file of 2 GiB or\n"
     "more, a file that ends short of its headers (though its payload be whole).\n"
     "Prints one line; exits 0 when the installer would accept the file, 65 with\n"
     "the reason when not.\n"},
    {"extract", "extract FILE DIR [--no-backups] [--no-keep-settings] [--crc HEX]",
     "Installs FILE into DIR through the installer's own extraction engine, as\n"
     "its Install button does, without the windows:\n"
     "  --no-backups        overwrite an earlier installation's files instead of\n"
     "                      moving them into DIR/backup first\n"
     "  --no-keep-settings  replace its settings files (the .ini files) too\n"
     "  --crc HEX           the payload's expected CRC; by default the value\n"
     "                      compiled into FILE (a bare payload needs it)\n"
     "FILE must be a regular file, an installer whose headers are whole and carry\n"
     "the compiled-in CRC, or a bare payload with --crc (65 otherwise; a bare\n"
     "payload without --crc: 64). The temporary member file lies in a folder of\n"
     "its own, made for the run under $TMPDIR (or /tmp) and removed at its end;\n"
     "a later run removes such folders of runs that were killed (only folders a\n"
     "run made: they carry its mark, and only the files a run makes go). The run\n"
     "locks DIR for its whole length: a second run into it refuses at once (75),\n"
     "and a DIR that cannot be locked is refused before anything is done (74).\n"
     "Inside DIR a link at any name is the link itself: nothing is written, moved,\n"
     "deleted or re-attributed outside DIR, a backup folder or a member's name\n"
     "that is a link is refused ([7]), and FILE itself is never overwritten or\n"
     "deleted. A FILE or DIR whose name holds a backslash is refused (64).\n"
     "Every change to DIR is first written to its journal (yelkundo.jnl): a run\n"
     "that fails, or is stopped by SIGINT or SIGTERM at the next slice, undoes\n"
     "what it did (a folder it made too) and ends by the signal; a run that was\n"
     "killed is undone by the next run. Only the run's own files are undone: one\n"
     "changed since stays, what it replaced is kept in DIR/backup or beside it\n"
     "under its name and a number, and this is said ([8], the run goes on). An\n"
     "undo that cannot finish names the file it stopped at and keeps the journal\n"
     "for the next run (76; [7] when the next run meets it). An installation\n"
     "error [n] is printed as the installer's message, and n is the exit code; a\n"
     "run that fails removes the folder it made.\n"},
};

const CommandHelp *FindCommand(const std::string &name)
{
    for (const CommandHelp &c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

void PrintUsage(FILE *to)
{
    const char *lead = "usage:";
    for (const CommandHelp &c : kCommands) {
        fprintf(to, "%s yelkpack %s\n", lead, c.synopsis);
        lead = "      ";
    }
    fprintf(to, "%s yelkpack help COMMAND\n", lead);
    fprintf(to, "%s yelkpack --version\n", lead);
}

}  // namespace

int UsageError(const char *command)
{
    const CommandHelp *c = FindCommand(command);
    if (!c) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    return Report(kExitUsage, "usage: yelkpack %s", c->synopsis);
}

bool IsCommand(const std::string &name) { return FindCommand(name) != nullptr; }

int HelpCommand(const std::vector<std::string> &args)
{
    if (args.empty()) {
        PrintUsage(stdout);
        fputs("\nExit codes: 0 done; 1 to 15 extract's installation error [n]; 64 a wrong\n"
              "command line; 65 input refused (a bad client file, a file that fails the\n"
              "checks, is damaged, is not complete or is no regular file); 74 reading or\n"
              "writing failed (standard output too), or extract's folder cannot be\n"
              "locked; 75 extract's folder is in use by another run; 76 extract's failed\n"
              "or stopped run could not be undone (its journal stays).\n"
              "More: docs/yelkpack.md in the source tree.\n",
              stdout);
        return kExitOk;
    }
    if (args.size() > 1)
        return Report(kExitUsage, "usage: yelkpack help [COMMAND]");
    const CommandHelp *c = FindCommand(args[0]);
    if (!c)
        return Report(kExitUsage, "help: no command '%s'; the commands are pack, list, verify and extract",
                      args[0].c_str());
    printf("usage: yelkpack %s\n\n%s", c->synopsis, c->text);
    return kExitOk;
}
