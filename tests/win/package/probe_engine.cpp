// A stand-in engine for the stub tests. A stub starts it the way it starts the
// real engine; it writes what it received (its argument count, argument 0 and
// the bytes of the argument file beside it) to the file named by the variable
// SETUP_PROBE_REPORT, and exits with the code in SETUP_PROBE_EXIT.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Variable(const char* name)
{
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::string argument0 = __argc > 0 ? __argv[0] : "";
    std::ifstream in(argument0 + ".param", std::ios::binary);
    std::stringstream param;
    param << in.rdbuf();
    std::ofstream report(Variable("SETUP_PROBE_REPORT"), std::ios::binary);
    report << "argc=" << __argc << "\nargv0=" << argument0 << "\nparam=" << param.str();
    std::string exitCode = Variable("SETUP_PROBE_EXIT");
    return exitCode.empty() ? 0 : std::atoi(exitCode.c_str());
}
