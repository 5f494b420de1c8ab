#include "tests/test_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string makeTempFolder() {
    char name[] = "/tmp/ostrel-test-XXXXXX";
    const char* made = mkdtemp(name);
    return made ? made : "";
}

void removeTree(const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec); !ec && it != decltype(it)(); it.increment(ec))
        if (it->is_directory(ec)) chmod(it->path().c_str(), 0700);
    chmod(path.c_str(), 0700);
    std::filesystem::remove_all(path, ec);
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid) {
    ProcessResult result;
    const std::string capture = makeTempFolder();
    const std::string outPath = capture + "/out", errPath = capture + "/err";
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(cwd.c_str()) != 0)
            _exit(126);
        if (uid >= 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(126);
        std::vector<char*> argv;
        std::vector<std::string> copies = args;
        copies.insert(copies.begin(), program);
        for (std::string& arg : copies) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readAll(outPath);
    result.err = readAll(errPath);
    removeTree(capture);
    return result;
}

bool copyFileTo(const std::string& from, const std::string& to) {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
}

bool setReadOnly(const std::string& path, bool readOnly) {
    return chmod(path.c_str(), readOnly ? 0444 : 0644) == 0;
}

int exitCodeForSignal(int signal) {
    return 128 + signal;
}
