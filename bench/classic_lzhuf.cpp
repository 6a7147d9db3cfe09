// A yardstick for the decoder: LZHUF decoded the way the original public
// LZHUF program of 1989 decodes it, written here from the algorithm for the
// benchmark alone (it is linked into nothing else). Everything is as that
// program does it: the tree in three parallel arrays (counts, parents, sons),
// one call per bit into a 16-bit bit buffer filled by getc, each byte stored
// in the 4 KiB ring and written by putc, a rebuild by insertion, the progress
// count printed every 1,024 bytes. Only what a 32-bit int changes is adapted:
// the bit buffer is an unsigned 16-bit value. GetBit and GetByte each keep
// their own fill loop, as in that program: with the loop shared, GCC inlines
// differently and the yardstick takes 8% fewer instructions (304.2 M against
// 332.3 M on the bench's members), so its shape is part of the figure.
#include "bench/classic_lzhuf.h"

#include <cstring>

namespace {

enum {
    N = 4096,              // ring size
    F = 60,                // longest match
    THRESHOLD = 2,         // a match is longer than this
    N_CHAR = 256 - THRESHOLD + F,   // 314 symbols
    T = N_CHAR * 2 - 1,    // 627 nodes
    R = T - 1,             // the root
    MAX_FREQ = 0x8000
};

unsigned char text_buf[N + F - 1];
unsigned freq[T + 1];
int prnt[T + N_CHAR];
int son[T];
unsigned short getbuf;
unsigned getlen;
unsigned char d_code[256], d_len[256];
FILE *infile, *outfile;

void MakeDistanceTables()
{
    // 1 upper value with a 3-bit code, 3 with 4 bits, 8 with 5, 12 with 6,
    // 24 with 7, 16 with 8; each covers 2^(8 - length) indexes.
    static const int kCount[6] = {1, 3, 8, 12, 24, 16};
    int i = 0, code = 0;
    for (int len = 3; len <= 8; len++)
        for (int c = 0; c < kCount[len - 3]; c++, code++)
            for (int k = 0; k < 1 << (8 - len); k++, i++) {
                d_code[i] = (unsigned char)code;
                d_len[i] = (unsigned char)len;
            }
}

int GetBit()
{
    int i;
    while (getlen <= 8) {
        if ((i = getc(infile)) < 0)
            i = 0;
        getbuf |= (unsigned short)(i << (8 - getlen));
        getlen += 8;
    }
    i = getbuf;
    getbuf = (unsigned short)(getbuf << 1);
    getlen--;
    return (i & 0x8000) != 0;
}

int GetByte()
{
    int i;
    while (getlen <= 8) {
        if ((i = getc(infile)) < 0)
            i = 0;
        getbuf |= (unsigned short)(i << (8 - getlen));
        getlen += 8;
    }
    i = getbuf;
    getbuf = (unsigned short)(getbuf << 8);
    getlen -= 8;
    return i >> 8;
}

void StartHuff()
{
    int i, j;
    for (i = 0; i < N_CHAR; i++) {
        freq[i] = 1;
        son[i] = i + T;
        prnt[i + T] = i;
    }
    i = 0;
    j = N_CHAR;
    while (j <= R) {
        freq[j] = freq[i] + freq[i + 1];
        son[j] = i;
        prnt[i] = prnt[i + 1] = j;
        i += 2;
        j++;
    }
    freq[T] = 0xFFFF;
    prnt[R] = 0;
}

// Halves the leaves' counts, gathers them at the bottom, and joins pairs
// into inner nodes, each inserted after the nodes that count no more.
void Reconst()
{
    int i, j, k;
    unsigned f, l;
    for (i = j = 0; i < T; i++) {
        if (son[i] >= T) {
            freq[j] = (freq[i] + 1) / 2;
            son[j] = son[i];
            j++;
        }
    }
    for (i = 0, j = N_CHAR; j < T; i += 2, j++) {
        k = i + 1;
        f = freq[j] = freq[i] + freq[k];
        for (k = j - 1; f < freq[k]; k--)
            ;
        k++;
        l = (unsigned)(j - k);
        memmove(&freq[k + 1], &freq[k], l * sizeof freq[0]);
        freq[k] = f;
        memmove(&son[k + 1], &son[k], l * sizeof son[0]);
        son[k] = i;
    }
    for (i = 0; i < T; i++) {
        if ((k = son[i]) >= T)
            prnt[k] = i;
        else
            prnt[k] = prnt[k + 1] = i;
    }
}

void Update(int c)
{
    int i, j, l;
    unsigned k;
    if (freq[R] == MAX_FREQ)
        Reconst();
    c = prnt[c + T];
    do {
        k = ++freq[c];
        if (k > freq[l = c + 1]) {
            while (k > freq[++l])
                ;
            l--;
            freq[c] = freq[l];
            freq[l] = k;
            i = son[c];
            prnt[i] = l;
            if (i < T)
                prnt[i + 1] = l;
            j = son[l];
            son[l] = i;
            prnt[j] = c;
            if (j < T)
                prnt[j + 1] = c;
            son[c] = j;
            c = l;
        }
    } while ((c = prnt[c]) != 0);
}

int DecodeChar()
{
    unsigned c = (unsigned)son[R];
    while (c < T) {
        c += (unsigned)GetBit();
        c = (unsigned)son[c];
    }
    c -= T;
    Update((int)c);
    return (int)c;
}

int DecodePosition()
{
    unsigned i, j, c;
    i = (unsigned)GetByte();
    c = (unsigned)d_code[i] << 6;
    j = d_len[i];
    j -= 2;
    while (j--)
        i = (i << 1) + (unsigned)GetBit();
    return (int)(c | (i & 0x3F));
}

}  // namespace

long ClassicDecode(FILE *in, FILE *out, FILE *progress)
{
    int i, j, k, r, c;
    unsigned long count, textsize = 0, printcount;

    infile = in;
    outfile = out;
    if (d_len[0] == 0)
        MakeDistanceTables();
    for (i = 0; i < 4; i++) {
        if ((c = getc(infile)) < 0)
            return -1;
        textsize |= (unsigned long)c << (8 * i);
    }
    if (textsize == 0)
        return 0;
    getbuf = 0;
    getlen = 0;
    StartHuff();
    for (i = 0; i < N - F; i++)
        text_buf[i] = ' ';
    r = N - F;
    for (count = 0, printcount = 0; count < textsize;) {
        c = DecodeChar();
        if (c < 256) {
            putc(c, outfile);
            text_buf[r++] = (unsigned char)c;
            r &= N - 1;
            count++;
        } else {
            i = (r - DecodePosition() - 1) & (N - 1);
            j = c - 255 + THRESHOLD;
            for (k = 0; k < j; k++) {
                c = text_buf[(i + k) & (N - 1)];
                putc(c, outfile);
                text_buf[r++] = (unsigned char)c;
                r &= N - 1;
                count++;
            }
        }
        if (count > printcount) {
            fprintf(progress, "%12lu\r", count);
            printcount += 1024;
        }
    }
    fprintf(progress, "%12lu\n", count);
    return (long)count;
}
