/* The numbered messages of the installer. */
#include "common/messages.h"

#include <cstdio>


static const char kReadProblem[] =
    "There seems to be a problem reading the installation file.\n\n"
    "Please try running the installation program again!";
static const char kCopyProblem[] =
    "There seems to be a problem copying files to their destination.\n\n"
    "Please try running the installation program again!";
static const char kCorrupt[] =
    "The installation file seems to be corrupt!\n\n"
    "Please try running the installation program again or download a new version!";

static const char *const kErrorTexts[kErrorCount] = {
    "",
    /* [1] */ "There seems to be a problem creating the directory you specified.\n\n"
              "Please try using a different directory name!",
    /* [2] */ kReadProblem,
    /* [3] */ kReadProblem,
    /* [4] */ kCopyProblem,
    /* [5] */ kCopyProblem,
    /* [6] */ "There seems to be a problem creating the backup directory.\n\n"
              "Please try installing to a different directory!",
    /* [7] */ "There seems to be a problem backing up your original files.\n\n"
              "Please try installing to a different directory!",
    /* [8] */ "An earlier installation did not finish, and some of its files were changed since.\n\n"
              "They were kept, and so were the files they replaced (with a number added to their names).",
    /* [9] */ kReadProblem,
    /* [10] */ kCorrupt,
    /* [11] */ "There seems to be a problem extracting files from the installation file.\n\n"
               "Please try running the installation program again!",
    "",
    "",
    /* [14] */ kCorrupt,
    /* [15] */ "There seems to be a problem adding Yelk icons to the Program Manager!\n\n"
               "Do you want me to try again?",
};

const char *ErrorText(int number)
{
    if (number < 0 || number >= kErrorCount)
        return "";
    return kErrorTexts[number];
}

void FormatErrorCaption(char *out, size_t size, int number)
{
    snprintf(out, size, "Yelk Installation Error [%d]", number);
}
