/* A stand-in for a wrapped backend: appends its argv[0] to the file named
 * by ARGV0_FILE and exits 0. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    const char* path = getenv("ARGV0_FILE");
    FILE* f = path != NULL ? fopen(path, "a") : NULL;
    (void)argc;
    if (f == NULL) return 1;
    fprintf(f, "%s\n", argv[0]);
    return fclose(f) == 0 ? 0 : 1;
}
