// velmor-pack sign: an Authenticode signature that keeps the package working.
#include <cstdio>
#include "cli_options.h"
#include "commands.h"
#include "messages.h"
#include "pack_error.h"
#include "package_signing.h"

namespace velmor {
namespace {

struct SignOptions {
    std::string package;
    std::string output;
    SigningOptions signing;
};

void RunSign(const SignOptions &options)
{
    CheckSigningOptions(options.signing);
    if (!options.signing.Requested())
        throw UsageError("signing needs a certificate and key: give --cert and --key, or --pkcs12");
    // The package itself may be signed in place; nothing else it reads may be replaced.
    RefuseOutputOverInputs("-o", options.output, SigningInputs(options.signing));
    SignSummary summary = SignPackage(options.package, options.output, options.signing);
    PrintResult(options.output + ": signed by " + summary.signature.signer + ", package of " +
                std::to_string(summary.packageSize) + " bytes" +
                (summary.signature.timestamp.empty() ? "" : ", timestamp " + summary.signature.timestamp));
}

} // namespace

void AddSigningOptions(CLI::App &cmd, SigningOptions &options, bool inCreate)
{
    const std::string group = "Signing";
    cmd.add_option("--cert", options.certFile,
                   "sign with this certificate (PEM or DER; intermediate certificates may follow it in a PEM file)")
        ->group(group);
    cmd.add_option("--key", options.keyFile, "the certificate's private key (PEM or DER)")->group(group);
    cmd.add_option("--pkcs12", options.pkcs12File, "sign with the certificate and key of this PKCS#12 file")
        ->group(group);
    cmd.add_option("--password-file", options.passwordFile,
                   "the password of the key or PKCS#12 file, read from this file")
        ->group(group);
    cmd.add_option("--password-env", options.passwordEnv,
                   "the password of the key or PKCS#12 file: the value of this environment variable")
        ->group(group);
    cmd.add_option("--timestamp", options.timestampUrls,
                   "have the signature timestamped by this RFC 3161 authority (needs the network); given "
                   "more than once, the next one is tried when one fails")
        ->group(group);
    cmd.add_option(inCreate ? "--sign-description" : "--description,--sign-description", options.description,
                   "the program's name in the signature, shown by Windows when it asks to run it")
        ->group(group);
    cmd.add_option(inCreate ? "--sign-url" : "--url,--sign-url", options.url,
                   "a web page about the program, in the signature")
        ->group(group);
}

void AddSignCommand(CLI::App &app)
{
    auto options = std::make_shared<SignOptions>();
    CLI::App *cmd = app.add_subcommand("sign", "Sign a package with an Authenticode signature the stub keeps working with");
    cmd->add_option("PACKAGE", options->package, "the package to sign; a signed one is signed anew")->required();
    cmd->add_option("-o,--output", options->output, "the signed package to write (may be PACKAGE itself)")
        ->required();
    AddSigningOptions(*cmd, options->signing, false);
    AddMessageOptions(*cmd);
    cmd->footer("The signature covers the program and every entry; the trailer (mode, folder, setup program,\n"
                "description) lies in the certificate table behind it and is not covered. Signing a signed\n"
                "package replaces its signature. osslsigncode makes the signature.\n\n"
                "Examples:\n"
                "  velmor-pack sign acme-driver.exe -o acme-driver.exe --cert acme.pem --key acme.key \\\n"
                "      --description 'Acme driver 2.1' --timestamp http://timestamp.example.com\n"
                "  ACME_PASS=... velmor-pack sign acme-driver.exe -o signed.exe --pkcs12 acme.p12 --password-env ACME_PASS\n");
    cmd->callback([options]() { RunSign(*options); });
}

} // namespace velmor
