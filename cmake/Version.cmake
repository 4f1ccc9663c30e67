# Strings of the program's version record (shown by the about box).
set(IFB_COMPANY_NAME "Vardel Systems")
set(IFB_FILE_DESCRIPTION "I/Fボード ファームウェアアップデートツール")
set(IFB_FILE_VERSION "${PROJECT_VERSION}.0")
set(IFB_INTERNAL_NAME "ifb-updater")
set(IFB_LEGAL_COPYRIGHT "Copyright (C) 2026 Vardel Systems")
set(IFB_ORIGINAL_FILENAME "ifb-updater")
set(IFB_PRODUCT_VERSION "${PROJECT_VERSION}")
set(IFB_PRODUCT_NAME "IFB Updater")
