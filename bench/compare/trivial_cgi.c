/* A trivial CGI program, for comparison only: prints a fixed page of the benchmark page's size. */
#include <stdio.h>

int main(void) {
    fputs("Content-type: text/html\n\n<UL>\n", stdout);
    for (int i = 1; i <= 20; ++i) printf("<LI>item%d: %d (%d)\n", i, i * 7 % 100 + 1, i * 3);
    fputs("</UL>\n", stdout);
    return 0;
}
