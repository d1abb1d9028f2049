/*
 * Zarvek - the wizard's support library. See Zarvek.h for the contracts.
 */
#define _POSIX_C_SOURCE 200809L

#include "Zarvek.h"

#include <fcntl.h>
#include <inttypes.h>
#include <locale.h>
#include <stdatomic.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* ---- attach counter ---------------------------------------------------- */

/* How often this copy of the library is attached to the process. The loader
 * runs the hooks below once per load and once per unload. */
static _Atomic int16_t attachCount;

__attribute__((constructor)) static void zarvekAttach(void) {
    atomic_fetch_add(&attachCount, 1);
}

__attribute__((destructor)) static void zarvekDetach(void) {
    int16_t n = atomic_load(&attachCount);
    while (n > 0 && !atomic_compare_exchange_weak(&attachCount, &n, (int16_t)(n - 1))) {
    }
}

int16_t GetProcesses(void) {
    return atomic_load(&attachCount);
}

/* ---- CRC-16/MODBUS ----------------------------------------------------- */

/* The 256 entries of the reflected CRC-16 with polynomial 0xA001, split into
 * their low-order bytes and their high-order bytes. */
static const uint8_t crcLow[256] = {
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
};

static const uint8_t crcHigh[256] = {
    0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2, 0xC6, 0x06, 0x07, 0xC7, 0x05, 0xC5, 0xC4, 0x04,
    0xCC, 0x0C, 0x0D, 0xCD, 0x0F, 0xCF, 0xCE, 0x0E, 0x0A, 0xCA, 0xCB, 0x0B, 0xC9, 0x09, 0x08, 0xC8,
    0xD8, 0x18, 0x19, 0xD9, 0x1B, 0xDB, 0xDA, 0x1A, 0x1E, 0xDE, 0xDF, 0x1F, 0xDD, 0x1D, 0x1C, 0xDC,
    0x14, 0xD4, 0xD5, 0x15, 0xD7, 0x17, 0x16, 0xD6, 0xD2, 0x12, 0x13, 0xD3, 0x11, 0xD1, 0xD0, 0x10,
    0xF0, 0x30, 0x31, 0xF1, 0x33, 0xF3, 0xF2, 0x32, 0x36, 0xF6, 0xF7, 0x37, 0xF5, 0x35, 0x34, 0xF4,
    0x3C, 0xFC, 0xFD, 0x3D, 0xFF, 0x3F, 0x3E, 0xFE, 0xFA, 0x3A, 0x3B, 0xFB, 0x39, 0xF9, 0xF8, 0x38,
    0x28, 0xE8, 0xE9, 0x29, 0xEB, 0x2B, 0x2A, 0xEA, 0xEE, 0x2E, 0x2F, 0xEF, 0x2D, 0xED, 0xEC, 0x2C,
    0xE4, 0x24, 0x25, 0xE5, 0x27, 0xE7, 0xE6, 0x26, 0x22, 0xE2, 0xE3, 0x23, 0xE1, 0x21, 0x20, 0xE0,
    0xA0, 0x60, 0x61, 0xA1, 0x63, 0xA3, 0xA2, 0x62, 0x66, 0xA6, 0xA7, 0x67, 0xA5, 0x65, 0x64, 0xA4,
    0x6C, 0xAC, 0xAD, 0x6D, 0xAF, 0x6F, 0x6E, 0xAE, 0xAA, 0x6A, 0x6B, 0xAB, 0x69, 0xA9, 0xA8, 0x68,
    0x78, 0xB8, 0xB9, 0x79, 0xBB, 0x7B, 0x7A, 0xBA, 0xBE, 0x7E, 0x7F, 0xBF, 0x7D, 0xBD, 0xBC, 0x7C,
    0xB4, 0x74, 0x75, 0xB5, 0x77, 0xB7, 0xB6, 0x76, 0x72, 0xB2, 0xB3, 0x73, 0xB1, 0x71, 0x70, 0xB0,
    0x50, 0x90, 0x91, 0x51, 0x93, 0x53, 0x52, 0x92, 0x96, 0x56, 0x57, 0x97, 0x55, 0x95, 0x94, 0x54,
    0x9C, 0x5C, 0x5D, 0x9D, 0x5F, 0x9F, 0x9E, 0x5E, 0x5A, 0x9A, 0x9B, 0x5B, 0x99, 0x59, 0x58, 0x98,
    0x88, 0x48, 0x49, 0x89, 0x4B, 0x8B, 0x8A, 0x4A, 0x4E, 0x8E, 0x8F, 0x4F, 0x8D, 0x4D, 0x4C, 0x8C,
    0x44, 0x84, 0x85, 0x45, 0x87, 0x47, 0x46, 0x86, 0x82, 0x42, 0x43, 0x83, 0x41, 0x81, 0x80, 0x40,
};

uint32_t CRC16(const uint8_t* data, uint32_t length) {
    uint32_t count = length & 0xFFFFu;
    uint8_t lo = 0xFF;
    uint8_t hi = 0xFF;
    if (data == NULL)
        count = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t index = (uint8_t)(data[i] ^ lo);
        lo = (uint8_t)(crcLow[index] ^ hi);
        hi = crcHigh[index];
    }
    return ((uint32_t)hi << 8) | lo;
}

/* ---- FillString -------------------------------------------------------- */

enum { WORK_SIZE = 20, MAX_SOURCE = 16 };

/* Number of source bytes a value of the type occupies; 0 for unknown types. */
static int32_t typeWidth(int32_t type) {
    switch (type) {
    case ZARVEK_INT16:
    case ZARVEK_UINT16:
        return 2;
    case ZARVEK_INT32:
    case ZARVEK_UINT32:
    case ZARVEK_FLOAT:
        return 4;
    case ZARVEK_INT64:
    case ZARVEK_UINT64:
    case ZARVEK_DFLOAT:
        return 8;
    default:
        if (type >= ZARVEK_CHAR2 && type <= ZARVEK_CHAR16)
            return (type - ZARVEK_CHAR2 + 1) * 2;
        return 0;
    }
}

/* The first n bytes of a buffer holding a value least significant byte
 * first. */
static uint64_t littleEndian(const uint8_t* bytes, size_t n) {
    uint64_t v = 0;
    for (size_t i = n; i > 0; --i)
        v = (v << 8) | bytes[i - 1];
    return v;
}

/* A number in fixed point with six decimals and a decimal point, whatever
 * locale the calling process (or thread) has chosen: a register value must
 * read the same on every machine, and callers parse it back. The C locale is
 * switched in for this thread only and the caller's setting restored at
 * once, so other threads are never affected. */
static int formatFixed(char* text, size_t size, double value) {
    const locale_t plain = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    if (plain == (locale_t)0) {
        /* Out of memory: better no text than one with a decimal comma. */
        text[0] = '\0';
        return -1;
    }
    const locale_t previous = uselocale(plain);
    const int written = snprintf(text, size, "%f", value);
    uselocale(previous);
    freelocale(plain);
    return written;
}

/* Formats one value into text (ZARVEK_TEXT_SIZE bytes, zeroed). machine holds
 * the value least significant byte first, wire the bytes in display order. */
static void formatValue(int32_t type, const uint8_t* machine, const uint8_t* wire, size_t n,
                        char* text) {
    const size_t size = ZARVEK_TEXT_SIZE;
    const uint64_t v = littleEndian(machine, n);
    int written = 0;
    switch (type) {
    case ZARVEK_INT16:
        written = snprintf(text, size, "%d", (int)(int16_t)(uint16_t)v);
        break;
    case ZARVEK_UINT16:
        written = snprintf(text, size, "%u", (unsigned)(uint16_t)v);
        break;
    case ZARVEK_INT32:
        written = snprintf(text, size, "%" PRId32, (int32_t)(uint32_t)v);
        break;
    case ZARVEK_UINT32:
        written = snprintf(text, size, "%" PRIu32, (uint32_t)v);
        break;
    case ZARVEK_INT64:
        written = snprintf(text, size, "%" PRId64, (int64_t)v);
        break;
    case ZARVEK_UINT64:
        written = snprintf(text, size, "%" PRIu64, v);
        break;
    case ZARVEK_FLOAT: {
        const uint32_t bits = (uint32_t)v;
        float f;
        memcpy(&f, &bits, sizeof f);
        written = formatFixed(text, size, (double)f);
        break;
    }
    case ZARVEK_DFLOAT: {
        double d;
        memcpy(&d, &v, sizeof d);
        /* Magnitudes from about 1e248 on need more than 255 characters:
         * snprintf cuts them at the end of the buffer. */
        written = formatFixed(text, size, d);
        break;
    }
    default:
        /* Character types: raw bytes into the zeroed buffer, so the text ends
         * at the first zero byte among them. */
        memcpy(text, wire, n);
        break;
    }
    if (written < 0)
        text[0] = '\0';
}

int32_t FillString(const uint8_t* source, int32_t type, int32_t order, char* target,
                   int32_t length) {
    char text[ZARVEK_TEXT_SIZE];
    uint8_t a[WORK_SIZE];
    uint8_t b[WORK_SIZE];
    memset(text, 0, sizeof text);
    memset(a, 0, sizeof a);
    memset(b, 0, sizeof b);
    if (target == NULL)
        return 0;

    const int32_t width = typeWidth(type);
    if (source != NULL && width > 0 && length == width && length <= MAX_SOURCE && length % 2 == 0) {
        const size_t n = (size_t)length;
        const int swapPairs = order == ZARVEK_ORDER_DCBA || order == ZARVEK_ORDER_BADC;
        const int reverseRegisters = order == ZARVEK_ORDER_DCBA || order == ZARVEK_ORDER_CDAB;

        /* Bytes within each register. */
        for (size_t i = 0; i < n; ++i)
            a[i] = swapPairs ? source[i ^ 1u] : source[i];
        /* Registers, each keeping its inner byte order. */
        if (reverseRegisters) {
            for (size_t k = 0; k < n / 2; ++k) {
                b[2 * k] = a[n - 2 - 2 * k];
                b[2 * k + 1] = a[n - 1 - 2 * k];
            }
        } else {
            memcpy(b, a, n);
        }
        /* Machine order: least significant byte first. */
        for (size_t i = 0; i < n; ++i)
            a[i] = b[n - 1 - i];

        formatValue(type, a, b, n, text);
    }

    const size_t len = strnlen(text, sizeof text - 1);
    memcpy(target, text, len);
    target[len] = '\0';
    return 0;
}

/* ---- SendPRN ----------------------------------------------------------- */

int16_t SendPRN(const char* text, uint32_t port) {
    char device[24];
    if (text == NULL)
        return 0;
    snprintf(device, sizeof device, "/dev/lp%u", (unsigned)(port & 0xFFFFu));

    /* Never O_CREAT: a missing printer port must not turn into a new file in
     * /dev when the program runs with the rights to create one. */
    const int fd = open(device, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        close(fd);
        return 0;
    }
    FILE* out = fdopen(fd, "w");
    if (out == NULL) {
        close(fd);
        return 0;
    }
    /* Text mode: every line feed goes out as carriage return, line feed. The
     * write's own result does not decide the outcome, the close does. */
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n' && fputc('\r', out) == EOF)
            break;
        if (fputc((unsigned char)*p, out) == EOF)
            break;
    }
    return fclose(out) == 0 ? 1 : 0;
}
