/* Allocates through whatever malloc the library's symbols are bound to. */
#include <stdlib.h>
#include <string.h>

void* probe_malloc(size_t n) {
    return malloc(n);
}
char* probe_strdup(const char* text) {
    return strdup(text);
}
void probe_free(void* p) {
    free(p);
}
