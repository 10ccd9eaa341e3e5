#include "support/test_support.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "strings/string_table.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vcv_test_XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) std::abort();
    dir = std::string(buf.data()) + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string sourceDirectory() { return std::string(VCV_SOURCE_DIR) + "/"; }

std::vector<std::string> stringTableTexts(int32_t table) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < stringTableCount(table); i++) out.push_back(stringTableText(table, i));
    return out;
}

std::string generateDocument(const std::string& shared, bool v14, const std::string& flags,
                             const std::string& file, int* code) {
    return runCommand("python3 '" + shared + "bench/gen_dae.py' " + (v14 ? "--v14 " : "") + flags + " --out '" +
                          file + "' 2>&1",
                      code);
}

std::string sharedDirectory() {
    std::filesystem::path p = std::filesystem::path(VCV_SOURCE_DIR).parent_path() / "shared";
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) return p.string() + "/";
    return "";
}

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

ChildProcess startProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    ChildProcess child;
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    child.pid = pid;
    return child;
}

int waitProcess(ChildProcess& child, int timeoutMs) {
    if (child.pid <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(child.pid, &status, WNOHANG);
        if (r == child.pid) {
            child.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &status, 0);
            child.pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool processRunning(const ChildProcess& child) {
    if (child.pid <= 0) return false;
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    // WNOWAIT leaves an exited child to waitProcess, which reads its exit code.
    if (waitid(P_PID, (id_t)child.pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
}

std::string runCommand(const std::string& command, int* exitCode) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (exitCode) *exitCode = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string builtProgram(const std::string& relative) { return std::string(VCV_BINARY_DIR) + "/" + relative; }

#include "import/image_convert.h"

void useBuiltImageConverter() { imageConverterSetProgram(builtProgram("tools/vcvtool").c_str()); }

void installViewerData(const std::string& home) {
    const std::string built = std::string(VCV_BINARY_DIR) + "/viewer/";
    const char* const files[][2] = {
        {"data/", "font.sff"}, {"data/", "font.stf"}, {"data/", "inter.stf"}, {"language/", "vorfre.txt"}};
    for (const auto& f : files) {
        std::error_code ec;
        std::filesystem::create_directories(home + f[0], ec);
        std::filesystem::copy_file(built + f[0] + f[1], home + f[0] + f[1],
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }
}

std::string runVcvtool(const std::string& args, int* exitCode) {
    return runCommand("'" + builtProgram("tools/vcvtool") + "' " + args + " 2>&1", exitCode);
}
