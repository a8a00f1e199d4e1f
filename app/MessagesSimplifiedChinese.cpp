#include "app/MessageSet.h"

// The build compiles this file with -fexec-charset=CP936, so the texts below,
// written in UTF-8, are stored in code page 936 (GBK), the ANSI code page of the
// systems that show them. A character outside that code page fails the build.

const MessageColumn g_messagesSimplifiedChinese = {
    "ZELKUSBKey驱动自动安装程序",  // MSG_TITLE
    "不能访问ZELK安装服务器，请确认可以访问internet之后重试！",  // MSG_NO_SERVER
    "正在访问ZELK服务器进行安装，请稍候...",  // MSG_CONNECTING
    "安装失败，系统错误，请重试！",  // MSG_SYSTEM_ERROR
    "正在下载安装文件，请稍候…",  // MSG_DOWNLOADING
    "从ZELK服务器获取安装文件失败，请检查网络后重试！",  // MSG_DOWNLOAD_FAILED
    "验证安装文件签名失败，无法验证下载文件的完整性和安全性，该次安装未能成功，请重试！",  // MSG_VERIFY_FAILED
    "安装成功，欢迎您使用ZELK网上银行！",  // MSG_INSTALLED
    "正在执行安装，请稍候...",  // MSG_INSTALLING
    "当前用户非管理员且无法以管理员身份执行应用程序，请以管理员身份登录系统后再进行安装操作！",  // MSG_CANNOT_ELEVATE
    "当前用户非管理员，安装过程中会需要您输入管理员账户和密码，是否继续？",  // MSG_NEED_ADMIN_PASSWORD
    "重试",  // MSG_RETRY
    "退出",  // MSG_EXIT
    "完成",  // MSG_FINISH
};
