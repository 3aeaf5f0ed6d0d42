// Signature facts on Linux, through OpenSSL's libcrypto, opened when first needed.
// Only the Linux build's code belongs here.
#include "package_signature.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/macros.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <dlfcn.h>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>
#include "package_layout.h"
#include "signature_reading.h"

namespace velmor {
namespace {

// libcrypto is opened the first time a signature is read. Most runs of velmor-pack
// read none, and loading the library at start would cost each run about a
// millisecond, more than compressing a small file. Every function used below is
// reached through a pointer of the same name declared here, which the calls (also
// those inside OpenSSL's macros) find before the library's own declarations.
#define VELMOR_OPENSSL_FUNCTIONS(F)                                                                    \
    F(ASN1_OBJECT_free) F(ASN1_STRING_get0_data) F(ASN1_STRING_length) F(ASN1_TIME_to_tm)              \
    F(ASN1_get_object) F(BIO_ctrl) F(BIO_free) F(BIO_new) F(BIO_new_mem_buf) F(BIO_s_mem)               \
    F(ERR_clear_error) F(EVP_Digest) F(EVP_DigestFinal_ex) F(EVP_DigestInit_ex) F(EVP_DigestUpdate)     \
    F(EVP_MD_CTX_free) F(EVP_MD_CTX_new) F(EVP_MD_get_type) F(EVP_get_digestbyname) F(OBJ_cmp)          \
    F(OBJ_nid2sn) F(OBJ_obj2nid) F(OBJ_obj2txt) F(OBJ_txt2obj) F(OPENSSL_sk_free) F(OPENSSL_sk_num)     \
    F(OPENSSL_sk_value) F(PKCS7_free) F(PKCS7_get0_signers) F(PKCS7_get_signer_info)                    \
    F(PKCS7_to_TS_TST_INFO) F(PKCS7_verify) F(TS_MSG_IMPRINT_get_algo) F(TS_MSG_IMPRINT_get_msg)        \
    F(TS_TST_INFO_free) F(TS_TST_INFO_get_msg_imprint) F(TS_TST_INFO_get_time)                          \
    F(X509_ATTRIBUTE_get0_object) F(X509_ATTRIBUTE_get0_type) F(X509_NAME_print_ex) F(X509_SIG_free)    \
    F(X509_SIG_get0) F(X509_get0_notAfter) F(X509_get_issuer_name) F(X509_get_subject_name)            \
    F(d2i_PKCS7) F(d2i_X509_SIG)

#define VELMOR_OPENSSL_DECLARE(name) decltype(&::name) name = nullptr;
VELMOR_OPENSSL_FUNCTIONS(VELMOR_OPENSSL_DECLARE)
#undef VELMOR_OPENSSL_DECLARE

const char kCryptoLibrary[] = "libcrypto.so." OPENSSL_MSTR(OPENSSL_SHLIB_VERSION);

// Opens libcrypto once per process; the empty string when every function was found,
// else why not.
const std::string &LoadCrypto()
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        void *library = dlopen(kCryptoLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char *why = dlerror();
            failure = why ? why : kCryptoLibrary;
            return;
        }
#define VELMOR_OPENSSL_FIND(name)                                                                      \
    if (failure.empty() && !(name = reinterpret_cast<decltype(name)>(dlsym(library, #name))))          \
        failure = std::string(kCryptoLibrary) + " has no " #name;
        VELMOR_OPENSSL_FUNCTIONS(VELMOR_OPENSSL_FIND)
#undef VELMOR_OPENSSL_FIND
    });
    return failure;
}

// Authenticode's SpcIndirectDataContent, the signed content of a PE signature.
const char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
// An RFC 3161 timestamp token among the signer's unauthenticated attributes.
const char kRfc3161TimestampOid[] = "1.3.6.1.4.1.311.3.3.1";

// Free: a function, or one of the pointers above, that frees a T.
template <typename T, auto &Free>
struct Freer {
    void operator()(T *p) const { Free(p); }
};
template <typename T, auto &Free>
using Owned = std::unique_ptr<T, Freer<T, Free>>;

void FreeSigners(STACK_OF(X509) *signers) { sk_X509_free(signers); }

using Pkcs7 = Owned<PKCS7, PKCS7_free>;
using Bio = Owned<BIO, BIO_free>;
using Signers = Owned<STACK_OF(X509), FreeSigners>;

std::string NameText(const X509_NAME *name)
{
    Bio bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0,
                       XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB));
    char *text = nullptr;
    long size = BIO_get_mem_data(bio.get(), &text);
    return std::string(text, static_cast<size_t>(size));
}

std::string TimeText(const ASN1_TIME *time)
{
    struct tm parts;
    char text[32];
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1 ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0)
        return "(unreadable time)";
    return text;
}

// The first signer's certificate; null when the signature carries none.
X509 *SigningCertificate(PKCS7 *p7)
{
    Signers signers(PKCS7_get0_signers(p7, nullptr, 0));
    ERR_clear_error();
    return signers && sk_X509_num(signers.get()) > 0 ? sk_X509_value(signers.get(), 0) : nullptr;
}

std::string FileDigest(const ByteSource &source, const PeSigningFields &pe, const EVP_MD *md)
{
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    EVP_DigestInit_ex(context.get(), md, nullptr);
    ForEachDigestedRange(source, pe, [&context](const unsigned char *bytes, size_t count) {
        EVP_DigestUpdate(context.get(), bytes, count);
    });
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    return HexText(digest, size);
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
        const unsigned char *p = der->data();
        Pkcs7 p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der->size())));
        ERR_clear_error();
        if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign->contents)
            return Problem("the certificate table holds no PKCS#7 signature that can be read");
        if (!ReadIndirectData(p7.get()))
            return;
        ReadSigner(p7.get());
        AddVerdictProblems(c_);
    }

private:
    void Problem(const std::string &what) { AddSignatureProblem(c_, what); }

    // The digest the signature states, from its SpcIndirectDataContent, and the check
    // of the signer's signature over that content.
    bool ReadIndirectData(PKCS7 *p7)
    {
        const PKCS7 *content = p7->d.sign->contents;
        char oid[64];
        OBJ_obj2txt(oid, sizeof oid, content->type, 1);
        const ASN1_TYPE *value = content->d.other;
        if (std::strcmp(oid, kIndirectDataOid) != 0 || !value || value->type != V_ASN1_SEQUENCE) {
            Problem("the signature is not an Authenticode signature of a program (its content is " +
                    std::string(oid) + ")");
            return false;
        }
        // SEQUENCE { SpcAttributeTypeAndOptionalValue, DigestInfo }; the signer's
        // signature covers the bytes inside the outer SEQUENCE.
        const ASN1_STRING *sequence = value->value.sequence;
        const unsigned char *inner = sequence->data;
        long innerSize = 0, skip = 0;
        int tag = 0, cls = 0;
        bool parsed = !(ASN1_get_object(&inner, &innerSize, &tag, &cls, sequence->length) & 0x80);
        const unsigned char *digestInfo = inner;
        parsed = parsed && !(ASN1_get_object(&digestInfo, &skip, &tag, &cls, innerSize) & 0x80);
        digestInfo += skip;
        long left = static_cast<long>(inner + innerSize - digestInfo);
        Owned<X509_SIG, X509_SIG_free> info(parsed && left > 0 ? d2i_X509_SIG(nullptr, &digestInfo, left) : nullptr);
        ERR_clear_error();
        if (!info) {
            Problem("the signature's statement of the program's digest cannot be read");
            return false;
        }
        const X509_ALGOR *algorithm = nullptr;
        const ASN1_OCTET_STRING *digest = nullptr;
        X509_SIG_get0(info.get(), &algorithm, &digest);
        const EVP_MD *md = EVP_get_digestbyobj(algorithm->algorithm);
        if (!md) {
            OBJ_obj2txt(oid, sizeof oid, algorithm->algorithm, 0);
            Problem(std::string("the signature uses the digest algorithm ") + oid + ", which is unknown here");
            return false;
        }
        SignatureFacts &facts = c_.signature;
        facts.read = true;
        facts.digestAlgorithm = OBJ_nid2sn(EVP_MD_get_type(md));
        facts.signedDigest = HexText(ASN1_STRING_get0_data(digest), static_cast<size_t>(ASN1_STRING_length(digest)));
        facts.fileDigest = FileDigest(source_, pe_, md);
        Bio data(BIO_new_mem_buf(inner, static_cast<int>(innerSize)));
        facts.signatureValid = PKCS7_verify(p7, nullptr, nullptr, data.get(), nullptr, PKCS7_NOVERIFY) == 1;
        ERR_clear_error();
        return true;
    }

    void ReadSigner(PKCS7 *p7)
    {
        SignatureFacts &facts = c_.signature;
        if (X509 *certificate = SigningCertificate(p7)) {
            facts.signer = NameText(X509_get_subject_name(certificate));
            facts.issuer = NameText(X509_get_issuer_name(certificate));
            facts.validUntil = TimeText(X509_get0_notAfter(certificate));
        } else {
            Problem("the signature does not carry the signer's certificate");
        }
        STACK_OF(PKCS7_SIGNER_INFO) *infos = PKCS7_get_signer_info(p7);
        if (infos && sk_PKCS7_SIGNER_INFO_num(infos) > 0)
            ReadTimestamp(sk_PKCS7_SIGNER_INFO_value(infos, 0));
    }

    void ReadTimestamp(PKCS7_SIGNER_INFO *signer)
    {
        Owned<ASN1_OBJECT, ASN1_OBJECT_free> oid(OBJ_txt2obj(kRfc3161TimestampOid, 1));
        const ASN1_TYPE *value = nullptr;
        for (int i = 0; i < sk_X509_ATTRIBUTE_num(signer->unauth_attr); ++i) {
            X509_ATTRIBUTE *attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, i);
            if (OBJ_cmp(X509_ATTRIBUTE_get0_object(attribute), oid.get()) == 0)
                value = X509_ATTRIBUTE_get0_type(attribute, 0);
        }
        if (!value)
            return;
        const unsigned char *p = value->type == V_ASN1_SEQUENCE ? value->value.sequence->data : nullptr;
        Pkcs7 token(p ? d2i_PKCS7(nullptr, &p, value->value.sequence->length) : nullptr);
        Owned<TS_TST_INFO, TS_TST_INFO_free> info(token ? PKCS7_to_TS_TST_INFO(token.get()) : nullptr);
        ERR_clear_error();
        if (!info)
            return Problem("the signature's timestamp cannot be read");
        SignatureFacts &facts = c_.signature;
        facts.timestamp = TimeText(TS_TST_INFO_get_time(info.get()));
        if (X509 *authority = SigningCertificate(token.get()))
            facts.timestampAuthority = NameText(X509_get_subject_name(authority));

        // The timestamp vouches for the signer's signature value: its imprint is the
        // digest of that value.
        TS_MSG_IMPRINT *imprint = TS_TST_INFO_get_msg_imprint(info.get());
        const EVP_MD *md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
        const ASN1_OCTET_STRING *stated = TS_MSG_IMPRINT_get_msg(imprint);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        bool belongs = md && EVP_Digest(signer->enc_digest->data, signer->enc_digest->length, digest, &size, md,
                                        nullptr) == 1 &&
                       static_cast<int>(size) == ASN1_STRING_length(stated) &&
                       std::memcmp(digest, ASN1_STRING_get0_data(stated), size) == 0;
        bool holds = PKCS7_verify(token.get(), nullptr, nullptr, nullptr, nullptr, PKCS7_NOVERIFY) == 1;
        ERR_clear_error();
        AddTimestampProblems(c_, belongs, holds);
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
    const std::string &failure = LoadCrypto();
    if (!failure.empty()) {
        contents.signature.unchecked = true;
        return contents.problems.push_back(
            {0, "", ProblemKind::Signature, "the signature cannot be checked: " + failure});
    }
    Checker(source, contents).Run();
}

} // namespace velmor
