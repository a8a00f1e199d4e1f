// The release command's questions, answered by the installer's own code:
//
//   release_check versions OFFER [INSTALLED...]
//       "comparable" or "not-comparable" for OFFER, then for each INSTALLED
//       a line "RESULT COMPARABLE": the installer's comparison of INSTALLED
//       with OFFER (the installer installs when it is -1) and 1 or 0.
//   release_check signer SIGNATURE.der PUBLISHER
//       The common names of the signature's first signer, one a line; exits
//       0 when the installer's pin PUBLISHER accepts the signer, 1 when it
//       does not, 2 when the signature cannot be read.
#include "app/VersionCompare.h"
#include "install/SignatureVerdict.h"

#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

int ReportVersions(int count, char** texts)
{
    const char* offer = texts[0];
    std::printf("%s\n", IsComparableVersion(offer) ? "comparable" : "not-comparable");
    for (int i = 1; i < count; ++i)
        std::printf("%d %d\n", static_cast<int>(CompareVersions(texts[i], offer)),
                    IsComparableVersion(texts[i]) ? 1 : 0);
    return 0;
}

bool ReadFile(const char* path, std::vector<unsigned char>& data)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    unsigned char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// The common names in the subject of the signature's first signer, as the
// installer reads that signer: the certificate that the first signer info
// names, taken from the certificates the signature carries.
bool ReadSignerNames(const std::vector<unsigned char>& der, std::vector<std::string>& names)
{
    const unsigned char* cursor = der.data();
    PKCS7* signature = d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size()));
    if (!signature)
        return false;
    STACK_OF(X509)* signers = PKCS7_type_is_signed(signature) ? PKCS7_get0_signers(signature, nullptr, 0) : nullptr;
    const bool found = signers && sk_X509_num(signers) > 0;
    if (found) {
        X509_NAME* subject = X509_get_subject_name(sk_X509_value(signers, 0));
        for (int i = X509_NAME_get_index_by_NID(subject, NID_commonName, -1); i >= 0;
             i = X509_NAME_get_index_by_NID(subject, NID_commonName, i)) {
            unsigned char* text = nullptr;
            const int length = ASN1_STRING_to_UTF8(&text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, i)));
            if (length >= 0)
                names.emplace_back(reinterpret_cast<char*>(text), static_cast<size_t>(length));
            OPENSSL_free(text);
        }
    }
    sk_X509_free(signers);
    PKCS7_free(signature);
    return found;
}

int ReportSigner(const char* path, const char* publisher)
{
    std::vector<unsigned char> der;
    std::vector<std::string> names;
    if (!ReadFile(path, der) || !ReadSignerNames(der, names)) {
        std::fprintf(stderr, "%s: no signer certificate can be read from it\n", path);
        return 2;
    }
    for (const std::string& name : names)
        std::printf("%s\n", name.c_str());
    // Several common names, or one with a NUL inside, leave open which one
    // the installer would compare; such a signer is not taken as the pin.
    const bool accepted = names.size() == 1 && std::strlen(names[0].c_str()) == names[0].size() &&
                          IsPublisherAccepted(publisher, names[0].c_str());
    return accepted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "versions") == 0)
        return ReportVersions(argc - 2, argv + 2);
    if (argc == 4 && std::strcmp(argv[1], "signer") == 0)
        return ReportSigner(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s versions OFFER [INSTALLED...] | signer SIGNATURE.der PUBLISHER\n", argv[0]);
    return 2;
}
