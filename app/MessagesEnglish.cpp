#include "app/MessageTables.h"

const MessageColumn g_messagesEnglish = {
    MESSAGE_TEXT("Auto installation for ZELK"),  // MSG_TITLE
    MESSAGE_TEXT("Cannot access the ZELK installation server, please check internet can be access and retry!"),  // MSG_NO_SERVER
    MESSAGE_TEXT("Accessing ZELK Server to install, please wait..."),  // MSG_CONNECTING
    MESSAGE_TEXT("Installation failed, system error, please retry!"),  // MSG_SYSTEM_ERROR
    MESSAGE_TEXT("Get installation file from ZELK Server, please wait..."),  // MSG_DOWNLOADING
    MESSAGE_TEXT("Get installation file from ZELK Server failed, please check your network and retry!"),  // MSG_DOWNLOAD_FAILED
    MESSAGE_TEXT("Verify the signature of installation file failed, current installation did not succeed, please retry!"),  // MSG_VERIFY_FAILED
    MESSAGE_TEXT("Installed successfully, welcome to ZELK online Banking!"),  // MSG_INSTALLED
    MESSAGE_TEXT("installing, please wait..."),  // MSG_INSTALLING
    MESSAGE_TEXT("The current user can not have access to the application as the administrator, please return this setup installation from an administrator account."),  // MSG_CANNOT_ELEVATE
    MESSAGE_TEXT("The installation process needs the administrator account and password,  are you sure you want to continue?"),  // MSG_NEED_ADMIN_PASSWORD
    MESSAGE_TEXT("Retry"),  // MSG_RETRY
    MESSAGE_TEXT("Exit"),  // MSG_EXIT
    MESSAGE_TEXT("Finish"),  // MSG_FINISH
};
