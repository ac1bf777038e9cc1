/*
 * VintrelBMPRotate2: turn a 24-bit BMP picture by a whole number of degrees.
 *
 *   int32_t BMPRotate2(const char16_t* inputPath, const char16_t* outputPath,
 *                      int32_t angle);
 *
 * Reads the uncompressed 24-bit BMP file `inputPath` (BITMAPFILEHEADER plus a
 * 40-byte or longer info header, bottom-up rows, rows padded to 4 bytes),
 * turns the picture about its centre pixel by `angle` degrees and writes a
 * new 24-bit BMP file `outputPath`. Both names are NUL-terminated UTF-16.
 *
 * Sense: a positive angle turns the displayed picture clockwise, a negative
 * one anticlockwise. The angle is used as given (no reduction modulo 360).
 *
 * Canvas: the bounding box of the turned picture, rounded down:
 *   W' = trunc(W*|cos| + H*|sin|),  H' = trunc(H*|cos| + W*|sin|).
 * Each canvas pixel takes the nearest source pixel (truncation, no blending)
 * or, where no part of the picture covers it, white.
 *
 * Results and the one console line (standard output) printed per outcome:
 *    999  "File has been read successfully." then
 *         "File has been written successfully."
 *     -1  "File has invalid signature." (wrong signature, compression or
 *         plane count, a picture too large, or one the memory cannot hold),
 *         or the read line then "Error. File cant be written." (the output
 *         cannot be written, or the turned picture is too large or more
 *         than the memory can hold). Too large: its file would be over
 *         2^32 - 1 bytes, the most a BMP's 32-bit size field can say.
 *     -2  "File has invalid resolution. Program works only with 24-bits bmp
 *         format." (not 24 bits per pixel)
 *     -3  "File not found." (input cannot be opened or read)
 *
 * The input is read and closed before the output is opened, so both may name
 * the same file. A file that ends early is read as far as it goes; the
 * missing pixels are black. A read or seek the system fails (an I/O error),
 * or a name that is no file (a folder, a pipe), gives -3 and writes nothing:
 * the input cannot be read, and black rows in place of what failed must
 * never replace a picture, which may be the input itself. The line is the
 * one for an input that cannot be opened, since to the caller it is the
 * same: no picture could be had from that name.
 *
 * While the system runs, the output appears whole or not at all: it is
 * written to a temporary file beside it and renamed into place, so a failed
 * write or a killed process leaves it as it was. An output that replaces a
 * file keeps its owner, rights, access list and attributes, and is synced
 * before the rename, and its folder after it: after a power cut or a system
 * crash it is always the old picture or the new one. A new output is not
 * synced, for speed, since the input can give it again: after a power cut
 * it may be missing, or there but empty or cut short. Where no temporary
 * can stand in for an existing file (a folder the caller may not write),
 * it is written over in place with room for all of it reserved first: a
 * full disk fails with the old picture whole; only an I/O error or a crash
 * during the in-place write can leave it neither picture.
 *
 * A symbolic link is followed only as the kernel follows one in a shared
 * folder, whatever the system's setting: in a sticky folder that others
 * may write (/tmp), only a link the caller or the folder's owner owns, for
 * anyone could have planted one there; nor is a file or FIFO there written
 * that neither of them owns. Otherwise nothing is written anywhere (-1).
 * An unpaired surrogate in a name names no file (U+DC80 to U+DCFF stand
 * for bytes that are not UTF-8, on Linux).
 *
 * Calls are serialised inside the library: calling from several threads is
 * safe but gains nothing, since each call waits for the one running. Assumes
 * the caller's floating-point environment has the default rounding mode (to
 * nearest).
 *
 * The header compiles as C (C11) and as C++. C callers need C11 for the u""
 * literals that spell a char16_t name (char16_t itself comes from <uchar.h>).
 */
#ifndef VINTRELBMPROTATE2_H
#define VINTRELBMPROTATE2_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

/* This header's library version; the soname's number is the major one. */
#define VINTRELBMPROTATE2_VERSION_MAJOR 1
#define VINTRELBMPROTATE2_VERSION_MINOR 0
#define VINTRELBMPROTATE2_VERSION_PATCH 0
#define VINTRELBMPROTATE2_VERSION_TWEAK 1
#define VINTRELBMPROTATE2_VERSION "1.0.0.1"

/* BMPRotate2's results, as described above. */
#define BMPROTATE2_WRITTEN 999            /* read and written */
#define BMPROTATE2_INVALID_FILE (-1)      /* invalid signature, too large, or not written */
#define BMPROTATE2_NOT_24_BITS (-2)       /* invalid resolution */
#define BMPROTATE2_FILE_NOT_FOUND (-3)    /* input cannot be opened */

/* The platform's standard calling convention for exported functions: it
 * decides the stack protocol on 32-bit Windows and is a no-op elsewhere. */
#if defined(_WIN32)
#define BMPROTATE2_CALL __stdcall
#else
#define BMPROTATE2_CALL
#endif

#if defined(VINTRELBMPROTATE2_STATIC)
#define BMPROTATE2_API
#elif defined(_WIN32)
#if defined(VINTRELBMPROTATE2_BUILDING)
#define BMPROTATE2_API __declspec(dllexport)
#else
#define BMPROTATE2_API __declspec(dllimport)
#endif
#elif defined(VINTRELBMPROTATE2_BUILDING)
#define BMPROTATE2_API __attribute__((visibility("default")))
#else
#define BMPROTATE2_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The exported function's type, for hosts that resolve it by name at run
 * time (dlsym, GetProcAddress). */
typedef int32_t(BMPROTATE2_CALL* BMPRotate2Fn)(const char16_t* inputPath,
                                                const char16_t* outputPath,
                                                int32_t angle);

BMPROTATE2_API int32_t BMPROTATE2_CALL BMPRotate2(const char16_t* inputPath,
                                                  const char16_t* outputPath,
                                                  int32_t angle);

#ifdef __cplusplus
}
#endif

#endif /* VINTRELBMPROTATE2_H */
