#include "app/MessageTables.h"

const MessageColumn g_messagesSimplifiedChinese = {
    MESSAGE_TEXT("ZELKUSBKey驱动自动安装程序"),  // MSG_TITLE
    MESSAGE_TEXT("不能访问ZELK安装服务器，请确认可以访问internet之后重试！"),  // MSG_NO_SERVER
    MESSAGE_TEXT("正在访问ZELK服务器进行安装，请稍候..."),  // MSG_CONNECTING
    MESSAGE_TEXT("安装失败，系统错误，请重试！"),  // MSG_SYSTEM_ERROR
    MESSAGE_TEXT("正在下载安装文件，请稍候…"),  // MSG_DOWNLOADING
    MESSAGE_TEXT("从ZELK服务器获取安装文件失败，请检查网络后重试！"),  // MSG_DOWNLOAD_FAILED
    MESSAGE_TEXT("验证安装文件签名失败，无法验证下载文件的完整性和安全性，该次安装未能成功，请重试！"),  // MSG_VERIFY_FAILED
    MESSAGE_TEXT("安装成功，欢迎您使用ZELK网上银行！"),  // MSG_INSTALLED
    MESSAGE_TEXT("正在执行安装，请稍候..."),  // MSG_INSTALLING
    MESSAGE_TEXT("当前用户非管理员且无法以管理员身份执行应用程序，请以管理员身份登录系统后再进行安装操作！"),  // MSG_CANNOT_ELEVATE
    MESSAGE_TEXT("当前用户非管理员，安装过程中会需要您输入管理员账户和密码，是否继续？"),  // MSG_NEED_ADMIN_PASSWORD
    MESSAGE_TEXT("重试"),  // MSG_RETRY
    MESSAGE_TEXT("退出"),  // MSG_EXIT
    MESSAGE_TEXT("完成"),  // MSG_FINISH
};
