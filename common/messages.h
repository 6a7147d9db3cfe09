/*
 * The texts of the installer's numbered messages, one table for every program
 * (the installer's boxes, the headless installer's one-line reports).
 */
#ifndef YELK_COMMON_MESSAGES_H
#define YELK_COMMON_MESSAGES_H

enum {
    kErrorCount = 16   /* numbers 1..15; 0, 8, 12 and 13 are unused and empty */
};

/* Text of message [number]; "" for an unused or unknown number. */
const char *ErrorText(int number);

#endif
