#include "app/MessageTables.h"

const MessageColumn g_messagesTraditionalChinese = {
    MESSAGE_TEXT("ZELKUSBKey驅動自動安裝程式"),  // MSG_TITLE
    MESSAGE_TEXT("不能訪問ZELK安裝伺服器，請確認可以訪問internet之後重試！"),  // MSG_NO_SERVER
    MESSAGE_TEXT("正在訪問ZELK伺服器進行安裝，請稍候..."),  // MSG_CONNECTING
    MESSAGE_TEXT("安裝失敗，系統錯誤，請重試！"),  // MSG_SYSTEM_ERROR
    MESSAGE_TEXT("正在下載安裝檔，請稍候…"),  // MSG_DOWNLOADING
    MESSAGE_TEXT("從ZELK伺服器獲取安裝檔失敗，請檢查網路後重試！"),  // MSG_DOWNLOAD_FAILED
    MESSAGE_TEXT("驗證安裝檔簽名失敗，無法驗證下載檔案的完整性和安全性，該次安裝未能成功，請重試！"),  // MSG_VERIFY_FAILED
    MESSAGE_TEXT("安裝成功，歡迎您使用ZELK網上銀行！"),  // MSG_INSTALLED
    MESSAGE_TEXT("正在執行安裝，請稍候..."),  // MSG_INSTALLING
    MESSAGE_TEXT("當前用戶非管理員且無法以管理員身份執行應用程式，請以管理員身份登錄系統後再進行安裝操作！"),  // MSG_CANNOT_ELEVATE
    MESSAGE_TEXT("當前用戶非管理員，安裝過程中會需要您輸入管理員帳戶和密碼，是否繼續？"),  // MSG_NEED_ADMIN_PASSWORD
    MESSAGE_TEXT("重試"),  // MSG_RETRY
    MESSAGE_TEXT("退出"),  // MSG_EXIT
    MESSAGE_TEXT("完成"),  // MSG_FINISH
};
