#include "VersionInfo.h"

#include "VersionStrings.h"

namespace ifb {

QString GetVersionInfo(unsigned code) {
    switch (code) {
        case 0:
            return QString::fromUtf16(IFB_VERSION_COMPANY_NAME);
        case 1:
            return QString::fromUtf16(IFB_VERSION_FILE_DESCRIPTION);
        case 2:
            return QString::fromUtf16(IFB_VERSION_FILE_VERSION);
        case 3:
            return QString::fromUtf16(IFB_VERSION_INTERNAL_NAME);
        case 4:
            return QString::fromUtf16(IFB_VERSION_LEGAL_COPYRIGHT);
        case 5:
            return QString::fromUtf16(IFB_VERSION_ORIGINAL_FILENAME);
        case 7:
            return QString::fromUtf16(IFB_VERSION_PRODUCT_NAME);
        default:
            return QString::fromUtf16(IFB_VERSION_PRODUCT_VERSION);
    }
}

}  // namespace ifb
