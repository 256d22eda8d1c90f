// A private JACK server for tests: `jackd` with its dummy driver (which runs in real time without
// a sound card) under a server name of its own, so that tests never meet a user's server. The
// name is put into JACK_DEFAULT_SERVER of this process, where libjack clients (RtAudio among
// them) look for it. The server is always stopped again: by Stop(), Kill() or the destructor.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kreisel {

class JackServer {
  public:
    // Whether `jackd` can be run at all (on PATH).
    static bool Installed();
    // "kreisel-test-<pid>": unique per test process.
    static std::string DefaultName();

    JackServer(int rate, int period, std::string name = DefaultName());
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Starts jackd and waits until `jack_lsp` shows its system ports. On failure the server is stopped and
    // `why` tells what happened, with jackd's own output.
    bool Start(std::string* why = nullptr, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Asks the server to end (SIGTERM to its process group), forces it after a while; waits.
    void Stop();
    // Ends the server at once (SIGKILL), as a crash would; waits.
    void Kill();
    bool Running() const { return pid_ > 0; }

    const std::string& Name() const { return name_; }
    int Rate() const { return rate_; }
    int Period() const { return period_; }
    std::string Log() const;

    // The ports of the server (`jack_lsp`), and a connection between two of them (`jack_connect`).
    std::vector<std::string> Ports() const;
    bool Connect(const std::string& from, const std::string& to, std::string* why = nullptr) const;

  private:
    void End(int signal, std::chrono::milliseconds grace);
    void RemoveLeftovers() const;

    int rate_;
    int period_;
    std::string name_;
    std::string logPath_;
    pid_t pid_ = -1;
    int lockFd_ = -1;
};

} // namespace kreisel

#define SKIP_WITHOUT_JACKD()                                                                                 \
    if (!::kreisel::JackServer::Installed())                                                                 \
    GTEST_SKIP() << "jackd is not installed (scripts/setup installs jackd2)"

namespace kreisel {

// Ends the test process when a test hangs inside libjack or RtAudio (RtAudio 5 can deadlock
// when a JACK server dies at an unlucky moment), so that the run reports a failure instead of
// waiting for ctest's timeout. jackd ends with the process.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::steady_clock::duration limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "%s hangs; giving up\n",
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

} // namespace kreisel
