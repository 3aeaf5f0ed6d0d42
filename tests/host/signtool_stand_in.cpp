// Stands in for signtool.exe in the tests of signing on Windows. Each run appends its
// arguments, one per line and then an empty line, to the file VELMOR_STAND_IN_LOG
// names. "sign ... FILE" appends a certificate table to FILE as signtool does: the
// file padded to 8 bytes, a WIN_CERTIFICATE holding dummy bytes, the security
// directory entry set to it; where VELMOR_STAND_IN_REPLAY names a folder whose
// replay-in.bin holds FILE's very bytes, FILE is given that folder's replay-out.bin
// instead: the real signature osslsigncode made for them. A run whose arguments
// include VELMOR_STAND_IN_REFUSE prints a refusal and exits with status 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

uint32_t Load32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

void Store32(std::string &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool AppendCertificateTable(const char *path)
{
    std::string b = ReadAll(path);
    const char *replay = std::getenv("VELMOR_STAND_IN_REPLAY");
    if (replay && b == ReadAll(std::string(replay) + "/replay-in.bin")) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << ReadAll(std::string(replay) + "/replay-out.bin");
        return bool(out);
    }
    if (b.size() < 0x40)
        return false;
    size_t pe = Load32(b, 0x3C);
    size_t optional = pe + 24;
    if (optional + 2 > b.size())
        return false;
    bool plus = uint8_t(b[optional]) == 0x0B && uint8_t(b[optional + 1]) == 0x02;
    size_t directory = optional + (plus ? 144 : 128);
    b.resize((b.size() + 7) / 8 * 8, '\0');
    size_t table = b.size();
    std::string certificate(8, '\0');
    certificate += std::string(40, '\x5A');
    Store32(certificate, 0, uint32_t(certificate.size()));
    certificate[4] = 0x00, certificate[5] = 0x02; // revision 2.0
    certificate[6] = 0x02, certificate[7] = 0x00; // PKCS#7 signed data
    b += certificate;
    Store32(b, directory, uint32_t(table));
    Store32(b, directory + 4, uint32_t(certificate.size()));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << b;
    return bool(out);
}

} // namespace

int main(int argc, char **argv)
{
    const char *log = std::getenv("VELMOR_STAND_IN_LOG");
    const char *refuse = std::getenv("VELMOR_STAND_IN_REFUSE");
    bool refused = false;
    if (log) {
        std::ofstream out(log, std::ios::binary | std::ios::app);
        for (int i = 1; i < argc; ++i) {
            out << argv[i] << "\n";
            refused = refused || (refuse && std::strcmp(argv[i], refuse) == 0);
        }
        out << "\n";
    }
    if (refused) {
        std::printf("SignTool Error: the stand-in refuses %s\r\n", refuse);
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[1], "sign") == 0 && !AppendCertificateTable(argv[argc - 1])) {
        std::printf("SignTool Error: cannot sign %s\r\n", argv[argc - 1]);
        return 1;
    }
    return 0;
}
