#pragma once

// The texts as the user must read them, in UTF-8, typed independently of the
// product's tables; tests encode them at run time to compare.

struct ExpectedMessages {
    const char* english;
    const char* simplifiedChinese;
    const char* traditionalChinese;
};

const ExpectedMessages kExpectedMessages[14] = {
    {"Auto installation for ZELK",
     "ZELKUSBKey驱动自动安装程序",
     "ZELKUSBKey驅動自動安裝程式"},  // m_strTitle
    {"Cannot access the ZELK installation server, please check internet can be access and retry!",
     "不能访问ZELK安装服务器，请确认可以访问internet之后重试！",
     "不能訪問ZELK安裝伺服器，請確認可以訪問internet之後重試！"},  // m_strNoServer
    {"Accessing ZELK Server to install, please wait...",
     "正在访问ZELK服务器进行安装，请稍候...",
     "正在訪問ZELK伺服器進行安裝，請稍候..."},  // m_strConnecting
    {"Installation failed, system error, please retry!",
     "安装失败，系统错误，请重试！",
     "安裝失敗，系統錯誤，請重試！"},  // m_strSystemError
    {"Get installation file from ZELK Server, please wait...",
     "正在下载安装文件，请稍候…",
     "正在下載安裝檔，請稍候…"},  // m_strDownloading
    {"Get installation file from ZELK Server failed, please check your network and retry!",
     "从ZELK服务器获取安装文件失败，请检查网络后重试！",
     "從ZELK伺服器獲取安裝檔失敗，請檢查網路後重試！"},  // m_strDownloadFailed
    {"Verify the signature of installation file failed, current installation did not succeed, please retry!",
     "验证安装文件签名失败，无法验证下载文件的完整性和安全性，该次安装未能成功，请重试！",
     "驗證安裝檔簽名失敗，無法驗證下載檔案的完整性和安全性，該次安裝未能成功，請重試！"},  // m_strVerifyFailed
    {"Installed successfully, welcome to ZELK online Banking!",
     "安装成功，欢迎您使用ZELK网上银行！",
     "安裝成功，歡迎您使用ZELK網上銀行！"},  // m_strInstalled
    {"installing, please wait...",
     "正在执行安装，请稍候...",
     "正在執行安裝，請稍候..."},  // m_strInstalling
    {"The current user can not have access to the application as the administrator, please return this setup installation from an administrator account.",
     "当前用户非管理员且无法以管理员身份执行应用程序，请以管理员身份登录系统后再进行安装操作！",
     "當前用戶非管理員且無法以管理員身份執行應用程式，請以管理員身份登錄系統後再進行安裝操作！"},  // m_strCannotElevate
    {"The installation process needs the administrator account and password,  are you sure you want to continue?",
     "当前用户非管理员，安装过程中会需要您输入管理员账户和密码，是否继续？",
     "當前用戶非管理員，安裝過程中會需要您輸入管理員帳戶和密碼，是否繼續？"},  // m_strNeedAdminPassword
    {"Retry",
     "重试",
     "重試"},  // m_strRetry
    {"Exit",
     "退出",
     "退出"},  // m_strExit
    {"Finish",
     "完成",
     "完成"},  // m_strFinish
};
