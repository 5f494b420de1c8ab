#include "tests/test_platform.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include "tests/test_support.h"

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid) {
    ProcessResult result;
    TempFolder capture;
    const std::string outPath = capture.file("out"), errPath = capture.file("err");
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(cwd.c_str()) != 0)
            _exit(126);
        if (uid >= 0 && geteuid() == 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(126);
        std::vector<std::string> copies = args;
        copies.insert(copies.begin(), program);
        std::vector<char*> argv;
        for (std::string& arg : copies) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

int exitCodeForSignal(int signal) {
    return 128 + signal;
}

platform::File holdOpen(const std::string& path) {
    platform::File file;
    file.handle_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return file;
}
