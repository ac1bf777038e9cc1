/* The public header as plain C, linked against the shared library. */
#include "VintrelBMPRotate2.h"

#include <stdio.h>
#include <string.h>

_Static_assert(BMPROTATE2_WRITTEN == 999 && BMPROTATE2_INVALID_FILE == -1 && BMPROTATE2_NOT_24_BITS == -2 &&
                   BMPROTATE2_FILE_NOT_FOUND == -3,
               "the results' numbers are the ABI");

int main(void) {
    BMPRotate2Fn rotate = BMPRotate2;
    int32_t result = rotate(u"no-such.bmp", u"no-such.bmp", 30);
    if (result != BMPROTATE2_FILE_NOT_FOUND) {
        fprintf(stderr, "expected -3 for a missing file, got %d\n", (int)result);
        return 1;
    }
    char version[32];
    snprintf(version, sizeof version, "%d.%d.%d.%d", VINTRELBMPROTATE2_VERSION_MAJOR, VINTRELBMPROTATE2_VERSION_MINOR,
             VINTRELBMPROTATE2_VERSION_PATCH, VINTRELBMPROTATE2_VERSION_TWEAK);
    if (strcmp(version, VINTRELBMPROTATE2_VERSION) != 0 || strcmp(version, VINTREL_PROJECT_VERSION) != 0) {
        fprintf(stderr, "header says %s (%s), the project %s\n", VINTRELBMPROTATE2_VERSION, version,
                VINTREL_PROJECT_VERSION);
        return 1;
    }
    return 0;
}
