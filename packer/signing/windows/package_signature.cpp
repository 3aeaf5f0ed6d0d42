// Signature facts on Windows, through CryptoAPI (the PKCS#7 message and its
// certificates) and CNG (the file's digest). Only the Windows build's code belongs here.
//
// The facts are those the Linux build reports, in its words. Whether the signing
// certificate leads to a root this machine trusts is left out, as on Linux: Windows
// decides that on the machine that runs the package (WinVerifyTrust there), and the
// answer here would say nothing about that machine.
#include "package_signature.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include "package_layout.h"
#include "signature_reading.h"
#include "windows/der_reading.h"
#include "windows/windows_files.h"

namespace velmor {
namespace {

const char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
const char kRfc3161TimestampOid[] = "1.3.6.1.4.1.311.3.3.1";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The digest algorithms a signature may name: their object identifiers, their names as
// reported (OpenSSL's short names, as the Linux build reports them) and in CNG.
struct DigestAlgorithm {
    const char *oid;
    const char *name;
    const wchar_t *cng;
};
const DigestAlgorithm kDigestAlgorithms[] = {
    {"2.16.840.1.101.3.4.2.1", "SHA256", BCRYPT_SHA256_ALGORITHM},
    {"2.16.840.1.101.3.4.2.2", "SHA384", BCRYPT_SHA384_ALGORITHM},
    {"2.16.840.1.101.3.4.2.3", "SHA512", BCRYPT_SHA512_ALGORITHM},
    {"1.3.14.3.2.26", "SHA1", BCRYPT_SHA1_ALGORITHM},
    {"1.2.840.113549.2.5", "MD5", BCRYPT_MD5_ALGORITHM},
};

const DigestAlgorithm *FindDigestAlgorithm(const char *oid)
{
    for (const DigestAlgorithm &a : kDigestAlgorithms) {
        if (oid && std::strcmp(oid, a.oid) == 0)
            return &a;
    }
    return nullptr;
}

// Attribute types by the short names OpenSSL gives them, so that names read alike on
// both builds; others by their object identifier.
const struct {
    const char *oid;
    const char *name;
} kNameAttributes[] = {
    {"2.5.4.3", "CN"},  {"2.5.4.6", "C"},      {"2.5.4.7", "L"},           {"2.5.4.8", "ST"},
    {"2.5.4.10", "O"},  {"2.5.4.11", "OU"},    {"2.5.4.9", "street"},      {"2.5.4.5", "serialNumber"},
    {"2.5.4.12", "title"}, {"2.5.4.4", "SN"},  {"2.5.4.42", "GN"},         {"0.9.2342.19200300.100.1.25", "DC"},
    {"1.2.840.113549.1.9.1", "emailAddress"},
};

// One attribute value as RFC 2253 writes it, non-ASCII characters as they are.
std::string EscapedValue(const std::string &value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        bool edge = (i == 0 && (c == '#' || c == ' ')) || (i + 1 == value.size() && c == ' ');
        if (c < 0x20 || c == 0x7F) {
            out += '\\' + HexText(&c, 1);
            continue;
        }
        if (edge || std::strchr(",+\"\\<>;", c))
            out += '\\';
        out += static_cast<char>(c);
    }
    return out;
}

// A distinguished name as the Linux build prints it: "CN=..., O=...", in the order the
// certificate stores it.
std::string NameText(const CERT_NAME_BLOB &encoded)
{
    CERT_NAME_INFO *info = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(kEncoding, X509_NAME, encoded.pbData, encoded.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &info, &size))
        return "(unreadable name)";
    std::string text;
    for (DWORD r = 0; r < info->cRDN; ++r) {
        const CERT_RDN &rdn = info->rgRDN[r];
        for (DWORD a = 0; a < rdn.cRDNAttr; ++a) {
            const CERT_RDN_ATTR &attribute = rdn.rgRDNAttr[a];
            std::string type = attribute.pszObjId;
            for (const auto &known : kNameAttributes) {
                if (type == known.oid)
                    type = known.name;
            }
            DWORD length = CertRDNValueToStrW(attribute.dwValueType,
                                              const_cast<CERT_RDN_VALUE_BLOB *>(&attribute.Value), nullptr, 0);
            std::wstring value(length, L'\0');
            if (length > 0)
                CertRDNValueToStrW(attribute.dwValueType, const_cast<CERT_RDN_VALUE_BLOB *>(&attribute.Value),
                                   value.data(), length);
            value.resize(value.empty() ? 0 : value.size() - 1); // the terminating zero
            text += (text.empty() ? "" : a > 0 ? " + " : ", ") + type + "=" + EscapedValue(Utf8FromWide(value));
        }
    }
    LocalFree(info);
    return text;
}

std::string TimeText(const FILETIME &time)
{
    SYSTEMTIME t;
    char text[32];
    if (!FileTimeToSystemTime(&time, &t))
        return "(unreadable time)";
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

// A parameter of a message, as bytes; empty when it has none.
std::vector<unsigned char> MessageParameter(HCRYPTMSG message, DWORD type, DWORD index = 0)
{
    DWORD size = 0;
    if (!CryptMsgGetParam(message, type, index, nullptr, &size) || size == 0)
        return {};
    std::vector<unsigned char> bytes(size);
    if (!CryptMsgGetParam(message, type, index, bytes.data(), &size))
        return {};
    bytes.resize(size);
    return bytes;
}

struct MessageCloser {
    void operator()(void *message) const { CryptMsgClose(message); }
};
using Message = std::unique_ptr<void, MessageCloser>;
struct StoreCloser {
    void operator()(void *store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;
struct CertificateFreer {
    void operator()(const CERT_CONTEXT *certificate) const { CertFreeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

// A signed message decoded from its DER bytes; null when they hold none.
Message DecodeSignedMessage(const unsigned char *der, size_t size)
{
    Message message(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!message || !CryptMsgUpdate(message.get(), der, static_cast<DWORD>(size), TRUE))
        return nullptr;
    DWORD type = 0, typeSize = sizeof type;
    if (!CryptMsgGetParam(message.get(), CMSG_TYPE_PARAM, 0, &type, &typeSize) || type != CMSG_SIGNED)
        return nullptr;
    return message;
}

// The first signer's certificate among those the message carries, found through
// store (which it keeps open); null without it.
Certificate SignerCertificate(HCRYPTMSG message, Store &store)
{
    store.reset(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message));
    std::vector<unsigned char> info = MessageParameter(message, CMSG_SIGNER_CERT_INFO_PARAM);
    if (!store || info.empty())
        return nullptr;
    return Certificate(CertGetSubjectCertificateFromStore(store.get(), kEncoding,
                                                          reinterpret_cast<CERT_INFO *>(info.data())));
}

// Whether the first signer's signature over the message holds.
bool SignatureHolds(HCRYPTMSG message, const CERT_CONTEXT *certificate)
{
    return certificate && CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo);
}

// The digest of byte ranges by the CNG algorithm; empty when the system lacks it.
class Digest {
public:
    explicit Digest(const wchar_t *algorithm)
    {
        DWORD length = 0, got = 0;
        if (BCryptOpenAlgorithmProvider(&provider_, algorithm, nullptr, 0) < 0 ||
            BCryptGetProperty(provider_, BCRYPT_HASH_LENGTH, reinterpret_cast<UCHAR *>(&length), sizeof length,
                              &got, 0) < 0 ||
            BCryptCreateHash(provider_, &hash_, nullptr, 0, nullptr, 0, 0) < 0)
            return;
        value_.resize(length);
    }
    ~Digest()
    {
        if (hash_)
            BCryptDestroyHash(hash_);
        if (provider_)
            BCryptCloseAlgorithmProvider(provider_, 0);
    }
    Digest(const Digest &) = delete;
    Digest &operator=(const Digest &) = delete;

    void Add(const void *bytes, size_t size)
    {
        if (!value_.empty())
            BCryptHashData(hash_, static_cast<UCHAR *>(const_cast<void *>(bytes)), static_cast<ULONG>(size), 0);
    }
    std::vector<unsigned char> Finish()
    {
        if (value_.empty() || BCryptFinishHash(hash_, value_.data(), static_cast<ULONG>(value_.size()), 0) < 0)
            return {};
        return value_;
    }

private:
    BCRYPT_ALG_HANDLE provider_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    std::vector<unsigned char> value_;
};

std::string FileDigest(const ByteSource &source, const PeSigningFields &pe, const wchar_t *algorithm)
{
    Digest digest(algorithm);
    ForEachDigestedRange(source, pe, [&digest](const unsigned char *bytes, size_t count) { digest.Add(bytes, count); });
    std::vector<unsigned char> value = digest.Finish();
    return HexText(value.data(), value.size());
}

class Checker {
public:
    Checker(const ByteSource &source, PackageContents &contents)
        : source_(source), c_(contents), pe_(*contents.certificateTable)
    {
    }

    void Run()
    {
        std::optional<std::vector<unsigned char>> der = ReadSignatureBytes(source_, c_);
        if (!der)
            return;
        size_t length = DerLength(der->data(), der->size());
        Message message = length ? DecodeSignedMessage(der->data(), length) : nullptr;
        std::vector<unsigned char> contentType =
            message ? MessageParameter(message.get(), CMSG_INNER_CONTENT_TYPE_PARAM) : std::vector<unsigned char>();
        if (contentType.empty())
            return Problem("the certificate table holds no PKCS#7 signature that can be read");
        Store store;
        Certificate signer = SignerCertificate(message.get(), store);
        if (!ReadIndirectData(message.get(), reinterpret_cast<const char *>(contentType.data()), signer.get()))
            return;
        ReadSigner(message.get(), signer.get());
        AddVerdictProblems(c_);
    }

private:
    void Problem(const std::string &what) { AddSignatureProblem(c_, what); }

    // The digest the signature states, from its SpcIndirectDataContent, and the check
    // of the signer's signature over that content.
    bool ReadIndirectData(HCRYPTMSG message, const char *contentType, const CERT_CONTEXT *signer)
    {
        if (std::strcmp(contentType, kIndirectDataOid) != 0) {
            Problem("the signature is not an Authenticode signature of a program (its content is " +
                    std::string(contentType) + ")");
            return false;
        }
        std::vector<unsigned char> content = MessageParameter(message, CMSG_CONTENT_PARAM);
        SPC_INDIRECT_DATA_CONTENT *indirect = nullptr;
        DWORD size = 0;
        if (content.empty() ||
            !CryptDecodeObjectEx(kEncoding, SPC_INDIRECT_DATA_CONTENT_STRUCT, content.data(),
                                 static_cast<DWORD>(content.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &indirect,
                                 &size)) {
            Problem("the signature's statement of the program's digest cannot be read");
            return false;
        }
        std::unique_ptr<SPC_INDIRECT_DATA_CONTENT, decltype(&LocalFree)> freed(indirect, LocalFree);
        const DigestAlgorithm *algorithm = FindDigestAlgorithm(indirect->DigestAlgorithm.pszObjId);
        if (!algorithm) {
            Problem(std::string("the signature uses the digest algorithm ") +
                    (indirect->DigestAlgorithm.pszObjId ? indirect->DigestAlgorithm.pszObjId : "(none)") +
                    ", which is unknown here");
            return false;
        }
        SignatureFacts &facts = c_.signature;
        facts.read = true;
        facts.digestAlgorithm = algorithm->name;
        facts.signedDigest = HexText(indirect->Digest.pbData, indirect->Digest.cbData);
        facts.fileDigest = FileDigest(source_, pe_, algorithm->cng);
        // CryptoAPI checks the signature over the signed attributes and, with it, that
        // the digest they state is that of the content.
        facts.signatureValid = SignatureHolds(message, signer);
        return true;
    }

    void ReadSigner(HCRYPTMSG message, const CERT_CONTEXT *certificate)
    {
        SignatureFacts &facts = c_.signature;
        if (certificate) {
            facts.signer = NameText(certificate->pCertInfo->Subject);
            facts.issuer = NameText(certificate->pCertInfo->Issuer);
            facts.validUntil = TimeText(certificate->pCertInfo->NotAfter);
        } else {
            Problem("the signature does not carry the signer's certificate");
        }
        ReadTimestamp(message);
    }

    void ReadTimestamp(HCRYPTMSG message)
    {
        std::vector<unsigned char> attributes = MessageParameter(message, CMSG_SIGNER_UNAUTH_ATTR_PARAM);
        const CRYPT_ATTRIBUTES *list = attributes.empty() ? nullptr
                                                          : reinterpret_cast<const CRYPT_ATTRIBUTES *>(attributes.data());
        const CRYPT_ATTR_BLOB *value = nullptr;
        for (DWORD i = 0; list && i < list->cAttr; ++i) {
            if (std::strcmp(list->rgAttr[i].pszObjId, kRfc3161TimestampOid) == 0 && list->rgAttr[i].cValue > 0)
                value = &list->rgAttr[i].rgValue[0];
        }
        if (!value)
            return;
        Message token = DecodeSignedMessage(value->pbData, value->cbData);
        std::vector<unsigned char> content =
            token ? MessageParameter(token.get(), CMSG_CONTENT_PARAM) : std::vector<unsigned char>();
        // The TSTInfo, unwrapped from the OCTET STRING where CryptoAPI leaves one.
        size_t header = 0;
        if (content.size() > 2 && content[0] == 0x04 && DerLength(content.data(), content.size(), &header))
            content.erase(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(header));
        TimestampInfo info;
        if (!token || !ReadTimestampInfo(content.data(), content.size(), info))
            return Problem("the signature's timestamp cannot be read");
        SignatureFacts &facts = c_.signature;
        facts.timestamp = info.time;
        Store store;
        Certificate authority = SignerCertificate(token.get(), store);
        if (authority)
            facts.timestampAuthority = NameText(authority->pCertInfo->Subject);

        // The timestamp vouches for the signer's signature value: its imprint is the
        // digest of that value.
        std::vector<unsigned char> signerInfo = MessageParameter(message, CMSG_SIGNER_INFO_PARAM);
        const DigestAlgorithm *algorithm = FindDigestAlgorithm(info.imprintAlgorithm.c_str());
        bool belongs = false;
        if (algorithm && !signerInfo.empty()) {
            const CRYPT_DATA_BLOB &value = reinterpret_cast<const CMSG_SIGNER_INFO *>(signerInfo.data())->EncryptedHash;
            Digest digest(algorithm->cng);
            digest.Add(value.pbData, value.cbData);
            belongs = digest.Finish() == info.imprint;
        }
        AddTimestampProblems(c_, belongs, belongs && SignatureHolds(token.get(), authority.get()));
    }

    const ByteSource &source_;
    PackageContents &c_;
    const PeSigningFields pe_;
};

} // namespace

void CheckSignature(const ByteSource &source, PackageContents &contents)
{
    if (!contents.certificateTable)
        return;
    Checker(source, contents).Run();
}

} // namespace velmor
