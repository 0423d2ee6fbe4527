/* A library of another version (2.3) in the player's folder. */
#include <stdint.h>

__attribute__((visibility("default"))) uint32_t BASS_GetVersion(void) {
    return 0x02030000u;
}
