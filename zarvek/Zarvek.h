/*
 * Zarvek - the wizard's support library.
 *
 * A small C library with four functions exported by name: the Modbus RTU
 * checksum, the conversion of register bytes into text by data type and byte
 * order, a raw text write to a parallel printer port, and the library's own
 * attach counter. It keeps no state beyond that counter, allocates nothing the
 * caller must free, starts no threads and links nothing but the C runtime.
 * Every function may be called from any thread.
 *
 * All arguments are 32-bit values or pointers; texts are zero-terminated
 * single-byte strings.
 */
#ifndef ZARVEK_H
#define ZARVEK_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(ZARVEK_BUILDING)
#define ZARVEK_API __declspec(dllexport)
#else
#define ZARVEK_API __declspec(dllimport)
#endif
#else
#define ZARVEK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the text FillString produces, terminating zero included. A target
 * buffer of this many bytes is always large enough. */
#define ZARVEK_TEXT_SIZE 256

/* Value type codes of FillString. CHARn types hold n bytes of text. */
enum {
    ZARVEK_INT16 = 0,
    ZARVEK_UINT16 = 1,
    ZARVEK_INT32 = 2,
    ZARVEK_UINT32 = 3,
    ZARVEK_INT64 = 4,
    ZARVEK_UINT64 = 5,
    ZARVEK_FLOAT = 6,
    ZARVEK_DFLOAT = 7,
    ZARVEK_CHAR2 = 8,
    ZARVEK_CHAR4 = 9,
    ZARVEK_CHAR6 = 10,
    ZARVEK_CHAR8 = 11,
    ZARVEK_CHAR10 = 12,
    ZARVEK_CHAR12 = 13,
    ZARVEK_CHAR14 = 14,
    ZARVEK_CHAR16 = 15
};

/* Byte order codes of FillString, named after where the wire bytes A B C D
 * end up. */
enum {
    ZARVEK_ORDER_ABCD = 0, /* as received, most significant byte first */
    ZARVEK_ORDER_DCBA = 1, /* fully reversed */
    ZARVEK_ORDER_CDAB = 2, /* 16-bit registers in reverse order */
    ZARVEK_ORDER_BADC = 3  /* the two bytes of every register swapped */
};

/*
 * CRC16 - the CRC-16 of Modbus RTU.
 *
 * Computes the CRC of the first (length & 0xFFFF) bytes at data: initial value
 * 0xFFFF, reflected polynomial 0xA001, no final exclusive-or. "123456789"
 * gives 0x4B37.
 *
 * Returns the CRC in the low 16 bits (the upper 16 bits are zero). Its
 * low-order byte goes on the wire first, its high-order byte second.
 *
 * When the low 16 bits of length are zero, or data is NULL, the result is
 * 0xFFFF and data is not read. Lengths of 65536 and more are taken modulo
 * 65536; callers with longer data must not use this function.
 */
ZARVEK_API uint32_t CRC16(const uint8_t* data, uint32_t length);

/*
 * FillString - one register value as text.
 *
 * Reads length bytes at source (as they came off the wire, most significant
 * byte of each register first), puts them in the given byte order (0..3, see
 * ZARVEK_ORDER_*; other values act as 0) and formats them by type (0..15, see
 * ZARVEK_INT16 ... ZARVEK_CHAR16): integers as decimal, FLOAT and DFLOAT in
 * fixed point with six decimals and a decimal point ("1.500000") whatever
 * locale the caller has set, CHARn types as their n bytes of text, ending at
 * the first zero byte among them.
 *
 * length must equal the width of the type (2, 4 or 8 bytes for numbers, n for
 * CHARn). The result is the empty text when it does not, when type is outside
 * 0..15, or when source is NULL.
 *
 * target receives the text and its terminating zero, at most ZARVEK_TEXT_SIZE
 * bytes in all (texts are cut at 255 characters); nothing is written past the
 * terminating zero. A NULL target is left alone.
 *
 * Always returns 0.
 */
ZARVEK_API int32_t FillString(const uint8_t* source, int32_t type, int32_t order, char* target,
                              int32_t length);

/*
 * SendPRN - writes a text to a parallel printer port.
 *
 * Port n (low 16 bits of port) is the device /dev/lp<n>; 0 is the first
 * parallel port. The device must already exist and be a character device: it
 * is never created. The text goes out in text mode, each line feed as
 * carriage return and line feed; a short write is not an error.
 *
 * Returns 1 when the device was opened and closed again without error, 0 when
 * it could not be opened or closed, or when text is NULL. Nothing is retried.
 */
ZARVEK_API int16_t SendPRN(const char* text, uint32_t port);

/*
 * GetProcesses - the attach counter.
 *
 * Returns the number of times this copy of the library is attached to the
 * calling process: 1 while it is loaded. Each process has its own counter.
 */
ZARVEK_API int16_t GetProcesses(void);

#ifdef __cplusplus
}
#endif

#endif /* ZARVEK_H */
