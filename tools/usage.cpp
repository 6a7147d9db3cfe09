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
     "prints each member's size, packed size and ratio.\n"},
    {"list", "list FILE",
     "Shows what the installer's own marker matcher finds in an installer or a bare\n"
     "payload: the payload resource, whether the file is signed, each member's\n"
     "offset, coded and decoded size, the terminating pair, and the CRC as the\n"
     "installer computes it against the compiled-in value. A file that ends short\n"
     "of what its headers describe is shown with where it breaks off.\n"},
    {"verify", "verify FILE",
     "Checks an installer as the build does after linking: the file is whole, the\n"
     "payload starts at its resource's first byte with no marker ahead of it, it\n"
     "splits into ten members and the terminating pair, and its CRC equals the\n"
     "compiled-in value. A signed installer is checked the same way (its\n"
     "certificate table follows the payload); the signature itself is not\n"
     "checked: osslsigncode verify does that. Prints one line; exits 0 when the\n"
     "installer would accept the file, 65 with the reason when not.\n"},
    {"extract", "extract FILE DIR [--no-backups] [--no-keep-settings] [--crc HEX]",
     "Installs FILE into DIR through the installer's own extraction engine, as\n"
     "its Install button does, without the windows:\n"
     "  --no-backups        overwrite an earlier installation's files instead of\n"
     "                      moving them into DIR/backup first\n"
     "  --no-keep-settings  replace its settings files (the .ini files) too\n"
     "  --crc HEX           the payload's expected CRC; by default the value\n"
     "                      compiled into FILE (a bare payload needs it)\n"
     "The temporary member file lies in a folder of its own, made for the run\n"
     "under $TMPDIR (or /tmp) and removed at its end. An installation error [n]\n"
     "is printed as the installer's message, and n is the exit code.\n"},
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
              "checks or is not complete); 74 reading or writing failed.\n",
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
