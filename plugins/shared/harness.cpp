// Command line of every plug-in program: one argument "]", a symbology
// identifier letter, a modifier and the data; prints the entry's answer.
#include <kestrel/plugin.h>

#include <cstdio>
#include <cstring>

#include "symbology_letters.h"

// Writes the counted characters as they are, NUL bytes included.
static void print_counted(const unsigned char *s) {
    fwrite(s + 1, 1, s[0], stdout);
    fputc('\n', stdout);
}

int main(int argc, char **argv) {
    if (argc < 2)
        return 1;
    const char *arg = argv[1];
    if (arg[0] != ']')
        return 2;
    int symbology = symbology_of_letter(arg[1]);
    if (arg[1] == '\0' || arg[2] == '\0')
        return 3;

    const char *chars = arg + 3;
    size_t length = strlen(chars);
    if (length > COUNTEDSTR_MAX)
        length = COUNTEDSTR_MAX;
    countedstr_t input, name, text;
    input[0] = (unsigned char)length;
    memcpy(input + 1, chars, length);
    name[0] = 0;
    text[0] = 0;

    int result = KorvelVerifierPlugIn(symbology, input, name, text, 0);
    print_counted(text);
    print_counted(name);
    printf("%d\n", result);
    return (int)((unsigned)result >> 31);
}
