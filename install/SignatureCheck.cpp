#include "install/SignatureCheck.h"

#include "app/VersionCompare.h"
#include "framework/AfxHandle.h"
#include "system/FileVersion.h"
#include "system/OsVersion.h"
#include "system/RunLog.h"
#include "install/SignatureVerdict.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

// The build names the publisher, INSTALLER_SETUP_PUBLISHER ("" for any),
// and the version it was released with, INSTALLER_VERSION_FLOOR ("" for
// none).

namespace {

// The Authenticode action of Windows 2000 and NT 5.2, which predate the generic one.
GUID kPublishedSoftwareAction = WIN_SPUB_ACTION_PUBLISHED_SOFTWARE;
GUID kPeImageSubject = WIN_TRUST_SUBJTYPE_PE_IMAGE;
GUID kGenericVerifyAction = WINTRUST_ACTION_GENERIC_VERIFY_V2;

// The record up to and including dwProvFlags: the service then reads it as
// the early form, without dwUIContext and what follows.
const DWORD kWinTrustDataEarlySize = offsetof(WINTRUST_DATA, dwProvFlags) + sizeof(DWORD);

BOOL WINAPI CloseCertStore(HCERTSTORE store)
{
    return CertCloseStore(store, 0);
}

typedef CUniqueAny<HCERTSTORE, CloseCertStore> CCertStore;
typedef CUniqueAny<HCRYPTMSG, CryptMsgClose> CCryptMessage;
typedef CUniqueAny<PCCERT_CONTEXT, CertFreeCertificateContext> CCertContext;

uint32_t VerifyEarly(const WCHAR* path)
{
    WIN_TRUST_SUBJECT_FILE subject = {};
    subject.hFile = INVALID_HANDLE_VALUE;
    subject.lpPath = path;
    WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT data = {};
    data.SubjectType = &kPeImageSubject;
    data.Subject = &subject;
    return static_cast<uint32_t>(WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &kPublishedSoftwareAction,
                                                &data));
}

uint32_t VerifyGeneric(const WCHAR* path, HANDLE held)
{
    // With a handle, the service reads the file through it ("hFile": an open
    // file with at least read access), so it checks the very bytes held.
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path;
    file.hFile = held;
    WINTRUST_DATA data = {};
    data.cbStruct = kWinTrustDataEarlySize;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_SAFER_FLAG;
    const uint32_t result = static_cast<uint32_t>(WinVerifyTrust(nullptr, &kGenericVerifyAction, &data));
    // The verification state is of no further use.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &kGenericVerifyAction, &data);
    return result;
}

// The common name of the certificate that signed the file's embedded
// signature, into `name`; empty when it cannot be read.
void ReadSignerName(const WCHAR* path, char* name, DWORD size)
{
    name[0] = '\0';
    CCertStore store;
    CCryptMessage message;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, store.Receive(),
                          message.Receive(), nullptr))
        return;
    DWORD infoSize = 0;
    if (!CryptMsgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &infoSize) || infoSize == 0)
        return;
    const CUniqueLocal info(LocalAlloc(LMEM_FIXED, infoSize));
    if (!info.IsValid() || !CryptMsgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, info.Get(), &infoSize))
        return;
    const CCertContext signer(CertFindCertificateInStore(store.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                         CERT_FIND_SUBJECT_CERT, info.Get(), nullptr));
    if (signer.IsValid())
        CertGetNameStringA(signer.Get(), CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, size);
}

}  // namespace

bool VerifySetupSignature(const wchar_t* path, HANDLE file)
{
    const bool early = IsWindows2000() || IsWindowsServer2003();
    const SignatureRequest request = early ? SIGNATURE_REQUEST_EARLY : SIGNATURE_REQUEST_GENERIC;
    const DWORD started = GetTickCount();
    const uint32_t result = early ? VerifyEarly(path) : VerifyGeneric(path, file);
    const bool accepted = IsSignatureAccepted(request, result);
    LogLine("signature check (%hs request): WinVerifyTrust 0x%08lx, %hs in %lu ms", early ? "early" : "generic",
            static_cast<unsigned long>(result), accepted ? "accepted" : "refused", GetTickCount() - started);
    if (!accepted || INSTALLER_SETUP_PUBLISHER[0] == '\0')
        return accepted;
    char signer[256];
    ReadSignerName(path, signer, sizeof(signer));
    const bool pinned = IsPublisherAccepted(INSTALLER_SETUP_PUBLISHER, signer);
    LogLine("signer \"%hs\" against the pinned publisher: %hs", signer, pinned ? "accepted" : "refused");
    return pinned;
}

bool IsCurrentSetup(const wchar_t* path, const char* offeredVersion)
{
    const bool pinned = INSTALLER_SETUP_PUBLISHER[0] != '\0';
    uint32_t high = 0, low = 0;
    if (!ReadFileVersion(path, high, low)) {
        LogLine(pinned ? "setup refused: it has no version block"
                       : "setup has no version block: accepted, as no publisher is pinned");
        return !pinned;
    }
    char version[24];
    FormatFileVersion(high, low, version);
    // A signature proves who made a setup, not that it is current: an older
    // one of the same publisher, with a flaw since mended, is refused.
    if (!IsAtLeastVersion(version, offeredVersion)) {
        LogLine("setup refused: its version %hs is older than the offered %hs", version, offeredVersion);
        return false;
    }
    if (INSTALLER_VERSION_FLOOR[0] && !IsAtLeastVersion(version, INSTALLER_VERSION_FLOOR)) {
        LogLine("setup refused: its version %hs is older than this installer's own %hs", version,
                INSTALLER_VERSION_FLOOR);
        return false;
    }
    LogLine("setup version %hs, offered %hs", version, offeredVersion);
    return true;
}
