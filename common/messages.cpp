/* The numbered messages of the installer. */
#include "common/messages.h"

#include <cstdio>

#include "common/format.h"

/* The distinct texts, one after another, each ended by its zero; a table of
   pointers would need a base relocation in setup32.exe for each. */
static const char kTexts[] =
    /* 0 */ "\0"
    /* 1 */ "There seems to be a problem creating the directory you specified.\n\n"
            "Please try using a different directory name!\0"
    /* 2 */ "There seems to be a problem reading the installation file.\n\n"
            "Please try running the installation program again!\0"
    /* 3 */ "There seems to be a problem copying files to their destination.\n\n"
            "Please try running the installation program again!\0"
    /* 4 */ "There seems to be a problem creating the backup directory.\n\n"
            "Please try installing to a different directory!\0"
    /* 5 */ "There seems to be a problem backing up your original files.\n\n"
            "Please try installing to a different directory!\0"
    /* 6 */ "An earlier installation did not finish, and some of its files were changed since.\n\n"
            "They were kept, and so were the files they replaced (with a number added to their names).\0"
    /* 7 */ "The installation file seems to be corrupt!\n\n"
            "Please try running the installation program again or download a new version!\0"
    /* 8 */ "There seems to be a problem extracting files from the installation file.\n\n"
            "Please try running the installation program again!\0"
    /* 9 */ "There seems to be a problem adding Yelk icons to the Program Manager!\n\n"
            "Do you want me to try again?";

/* Which of those texts each number shows. */
static const unsigned char kTextOf[kErrorCount] = {
    0, /* [1] */ 1, /* [2] */ 2, /* [3] */ 2, /* [4] */ 3, /* [5] */ 3, /* [6] */ 4, /* [7] */ 5,
    /* [8] */ 6, /* [9] */ 2, /* [10] */ 7, /* [11] */ 8, 0, 0, /* [14] */ 7, /* [15] */ 9,
};

const char *ErrorText(int number)
{
    return NthText(kTexts, number < 0 || number >= kErrorCount ? 0 : kTextOf[number]);
}

void FormatErrorCaption(char *out, size_t size, int number)
{
    snprintf(out, size, "Yelk Installation Error [%d]", number);
}
