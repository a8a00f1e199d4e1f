#include "app/MessageSet.h"

const MessageColumn g_messagesEnglish = {
    "Auto installation for ZELK",  // MSG_TITLE
    "Cannot access the ZELK installation server, please check internet can be access and retry!",  // MSG_NO_SERVER
    "Accessing ZELK Server to install, please wait...",  // MSG_CONNECTING
    "Installation failed, system error, please retry!",  // MSG_SYSTEM_ERROR
    "Get installation file from ZELK Server, please wait...",  // MSG_DOWNLOADING
    "Get installation file from ZELK Server failed, please check your network and retry!",  // MSG_DOWNLOAD_FAILED
    "Verify the signature of installation file failed, current installation did not succeed, please retry!",  // MSG_VERIFY_FAILED
    "Installed successfully, welcome to ZELK online Banking!",  // MSG_INSTALLED
    "installing, please wait...",  // MSG_INSTALLING
    "The current user can not have access to the application as the administrator, please return this setup installation from an administrator account.",  // MSG_CANNOT_ELEVATE
    "The installation process needs the administrator account and password,  are you sure you want to continue?",  // MSG_NEED_ADMIN_PASSWORD
    "Retry",  // MSG_RETRY
    "Exit",  // MSG_EXIT
    "Finish",  // MSG_FINISH
};
