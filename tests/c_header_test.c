/* The public header as plain C, linked against the shared library. */
#include "VintrelBMPRotate2.h"

#include <stdio.h>

int main(void) {
    static const char16_t missing[] = {'n', 'o', '-', 's', 'u', 'c', 'h', '.', 'b', 'm', 'p', 0};
    BMPRotate2Fn rotate = BMPRotate2;
    int32_t result = rotate(missing, missing, 30);
    if (result != -3) {
        fprintf(stderr, "expected -3 for a missing file, got %d\n", (int)result);
        return 1;
    }
    return 0;
}
