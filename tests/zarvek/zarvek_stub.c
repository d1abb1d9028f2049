/* A library named like the support library that lacks FillString. Its CRC16
 * answers a fixed value so a test can tell which library was bound. */
#include <stdint.h>

__attribute__((visibility("default"))) uint32_t CRC16(const uint8_t* data, uint32_t length);

uint32_t CRC16(const uint8_t* data, uint32_t length) {
    (void)data;
    (void)length;
    return 0x1234u;
}
