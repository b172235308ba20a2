// Section and key names of the side INI file. The host tool writes the same
// keys when it unpacks a setup and reads them when it packs one.
#pragma once

#define INI_SECTION "VeskInstaller"

#define INI_KEY_RUNTIME_VERSION "RuntimeVersion"
#define INI_KEY_CHAR_FONT "CharFont"
#define INI_KEY_CHAR_SET "CharSet"
#define INI_KEY_CHAR_SIZE "CharSize"
#define INI_KEY_PRODUCT_NAME "ProductName"
#define INI_KEY_INIT_PREFIX "VeskInitPrefix"
#define INI_KEY_INIT_SUFFIX "VeskInitSuffix"
#define INI_KEY_RUNTIME_NT "RuntimeNT"
#define INI_KEY_RUNTIME_9X "Runtime9X"
#define INI_KEY_PRODUCT_CODE "ProductCode"
#define INI_KEY_PRODUCT_VERSION "ProductVersion"
#define INI_KEY_TRANSFORM "TransformMSI"
#define INI_KEY_REMOVE_PREVIOUS "Remove Previous"
#define INI_KEY_RUNTIME_CMDLINE "InstMsi CmdLine"
#define INI_KEY_PRODUCT_FILE "ProductFile"

// Configurable texts, MessageId 4 to 9 in order.
#define INI_KEY_CMDLINE "CmdLine"
#define INI_KEY_ADMIN_ERROR "AdminError"
#define INI_KEY_EXIST_ERROR "ExistError"
#define INI_KEY_SPACE_ERROR "SpaceError"
#define INI_KEY_CRC_ERROR "CRCError"
#define INI_KEY_REBOOT "Reboot"

// Defaults that change what the setup shows.
#define DEFAULT_CHAR_FONT "MS Sans Serif"
#define DEFAULT_CHAR_SIZE 8
#define DEFAULT_INIT_PREFIX "Initializing "
#define FIXED_INIT_WORDS "Vesk Installation"
#define DEFAULT_INIT_SUFFIX " Wizard..."

// Built-in texts, used whenever the configured text is empty.
#define BUILTIN_ADMIN_ERROR "You must have administrator rights to run this installation. Please login as an administrator and re-run this installation."
#define BUILTIN_EXIST_ERROR "%s Version %s is already installed. You must uninstall the existing version before installing %s Version %s.\r\n\r\nDo you want to uninstall the existing version of %s?"
#define BUILTIN_SPACE_ERROR "Not enough free temporary disk space."
#define BUILTIN_CRC_ERROR "Corrupt installation detected, check source media or re-download."
#define BUILTIN_REBOOT "This system must reboot before the installation can begin. After the reboot the installation will restart automatically. Do you want to reboot this system?"
