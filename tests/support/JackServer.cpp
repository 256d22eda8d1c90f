// Runs jackd and the JACK command-line tools as child processes. jackd gets a process group of
// its own so that ending it reaches whatever it started, and never the test process.
#include "support/JackServer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kreisel {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Starts `args` with its output going to `outPath` (appended); -1 when it could not be started.
// The child ends with this process even when the test crashes, and may get a process group of
// its own.
pid_t Spawn(const std::vector<std::string>& args, const std::string& outPath, bool ownGroup) {
    // Everything the child needs is made before the fork: it may only make system calls.
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (ownGroup) setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0) _exit(127);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0 && ownGroup) setpgid(pid, pid); // either side may come first
    return pid;
}

// Runs a short command to its end; its exit code, or -1.
int Run(const std::vector<std::string>& args, const std::string& outPath) {
    const pid_t pid = Spawn(args, outPath, false);
    if (pid <= 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        continue;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

bool JackServer::Installed() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/jackd").c_str(), X_OK) == 0) return true;
    return false;
}

std::string JackServer::DefaultName() {
    return "kreisel-test-" + std::to_string(getpid());
}

JackServer::JackServer(int rate, int period, std::string name)
    : rate_(rate), period_(period), name_(std::move(name)) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    logPath_ = dir + "/" + name_ + ".log";
    // libjack names a client's notification socket after the client alone, not after its
    // server, and RtAudio opens every client that lists devices under the same name. Test
    // processes running side by side would take each other's notifications, so only one of
    // them has a server at a time.
    // A process that hangs with the lock must not stop all others: after a minute they go on.
    lockFd_ = open((dir + "/kreisel-jack-tests.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    const auto until = Clock::now() + 60s;
    while (lockFd_ >= 0 && flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (Clock::now() >= until) {
            std::fprintf(stderr, "JackServer: %s/kreisel-jack-tests.lock stays taken; going on without it\n",
                         dir.c_str());
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    // Every libjack client of this process talks to this server, and none may start another.
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

JackServer::~JackServer() {
    Stop();
    std::remove(logPath_.c_str());
    if (lockFd_ >= 0) close(lockFd_); // releases the lock
}

bool JackServer::Start(std::string* why, std::chrono::milliseconds timeout) {
    Stop();
    std::remove(logPath_.c_str());
    pid_ = Spawn({"jackd", "-n", name_, "-r", "-d", "dummy", "-r", std::to_string(rate_), "-p",
                  std::to_string(period_)},
                 logPath_, true);
    if (pid_ <= 0) {
        pid_ = -1;
        if (why) *why = "jackd could not be started";
        return false;
    }
    const auto until = Clock::now() + timeout;
    while (Clock::now() < until) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (why) *why = "jackd ended at once:\n" + Log();
            return false;
        }
        // The server answers before its driver has made the system ports.
        const std::vector<std::string> ports = Ports();
        const auto has = [&](const char* port) {
            return std::find(ports.begin(), ports.end(), port) != ports.end();
        };
        if (has("system:capture_1") && has("system:playback_1")) return true;
        std::this_thread::sleep_for(50ms);
    }
    if (why) *why = "jackd did not answer within " + std::to_string(timeout.count()) + " ms:\n" + Log();
    Kill();
    return false;
}

void JackServer::Stop() {
    End(SIGTERM, 3000ms);
}

void JackServer::Kill() {
    End(SIGKILL, 0ms);
}

void JackServer::End(int signal, std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    kill(-pid_, signal);
    const auto until = Clock::now() + grace;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= until && signal != SIGKILL) {
            signal = SIGKILL;
            kill(-pid_, SIGKILL);
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
    RemoveLeftovers();
}

void JackServer::RemoveLeftovers() const {
    // A killed server, and clients that were killed with it, leave their sockets and
    // semaphores in JACK's folder; only those carrying this server's name are touched.
    const std::string marker = "_" + name_ + "_";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("jack", 0) == 0 && file.find(marker) != std::string::npos)
            std::filesystem::remove(entry.path(), error);
    }
}

std::string JackServer::Log() const {
    return ReadFile(logPath_);
}

std::vector<std::string> JackServer::Ports() const {
    const std::string listPath = logPath_ + ".ports";
    std::vector<std::string> ports;
    if (Run({"jack_lsp"}, listPath) == 0) {
        std::stringstream lines(ReadFile(listPath));
        std::string line;
        while (std::getline(lines, line))
            if (!line.empty()) ports.push_back(line);
    }
    std::remove(listPath.c_str());
    return ports;
}

bool JackServer::Connect(const std::string& from, const std::string& to, std::string* why) const {
    const std::string outPath = logPath_ + ".connect";
    const bool ok = Run({"jack_connect", from, to}, outPath) == 0;
    if (!ok && why) *why = "jack_connect " + from + " " + to + ": " + ReadFile(outPath);
    std::remove(outPath.c_str());
    return ok;
}

} // namespace kreisel
