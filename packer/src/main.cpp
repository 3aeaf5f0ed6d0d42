#include <cstdio>
#include <CLI/CLI.hpp>
#include "commands.h"
#include "pack_error.h"

int main(int argc, char **argv)
{
    CLI::App app{"velmor-pack: builds and checks velmor self-extracting setup packages."};
    app.require_subcommand(1);
    velmor::AddCreateCommand(app);
    velmor::AddSzddCommand(app);
    velmor::AddWhichSetupCommand(app);
    velmor::AddListCommand(app);
    velmor::AddVerifyCommand(app);
    velmor::AddExtractCommand(app);
    velmor::AddSignCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    } catch (const velmor::PackError &e) {
        std::fprintf(stderr, "velmor-pack: %s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "velmor-pack: %s\n", e.what());
        return 1;
    }
    return 0;
}
