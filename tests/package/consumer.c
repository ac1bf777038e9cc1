#include <VintrelBMPRotate2.h>

#include <stdio.h>

int main(void) {
    static const char16_t missing[] = {'a', 'b', 's', 'e', 'n', 't', '.', 'b', 'm', 'p', 0};
    const int32_t result = BMPRotate2(missing, missing, 90);
    printf("result %d\n", (int)result);
    return result == -3 ? 0 : 1;
}
