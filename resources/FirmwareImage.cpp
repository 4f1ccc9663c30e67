// The firmware image itself is the Qt resource ":/firmware/<id>" that rcc adds
// to this library; linking ifb_firmware registers it at start-up.
#include "FirmwareId.h"

namespace ifb {

const char* EmbeddedFirmwareId() {
    return kFirmwareId;
}

}  // namespace ifb
