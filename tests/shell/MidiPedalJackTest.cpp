// A MIDI pedal on a real JACK server: a JACK client of the test plays a long and a short press
// into the looper's RtMidi input, which start the macro of KeySequ_21. Press lengths keep wide
// margins from the thresholds; a take that load stretched anyway is taken again.
#include "shell/HeadlessHost.h"
#include "shell/KreiselCore.h"
#include "support/JackServer.h"
#include "support/ManualHost.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <thread>

namespace kreisel {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// The pedal: a JACK client with one MIDI output port, "pedal:out". A message waits in an atomic
// slot until the next process cycle writes it.
class JackPedal {
  public:
    ~JackPedal() {
        if (client_ != nullptr) jack_client_close(client_);
    }
    bool Open(std::string* why) {
        jack_status_t status{};
        client_ = jack_client_open("pedal", JackNoStartServer, &status);
        if (client_ == nullptr) {
            *why = "jack_client_open failed, status " + std::to_string(status);
            return false;
        }
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        *why = "the pedal's MIDI port could not be set up";
        return out_ != nullptr && jack_set_process_callback(client_, &JackPedal::Process, this) == 0 &&
               jack_activate(client_) == 0;
    }
    // Waits until the message has gone out in a cycle.
    bool Send(unsigned char status, unsigned char number, unsigned char value) {
        pending_.store(0x1000000u | unsigned{status} << 16 | unsigned{number} << 8 | value,
                       std::memory_order_release);
        const auto until = SteadyClock::now() + 2s;
        while (pending_.load(std::memory_order_acquire) != 0) {
            if (SteadyClock::now() > until) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

  private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackPedal*>(arg);
        void* buffer = jack_port_get_buffer(self->out_, frames);
        jack_midi_clear_buffer(buffer);
        const unsigned m = self->pending_.load(std::memory_order_acquire);
        if (m == 0) return 0;
        if (jack_midi_data_t* data = jack_midi_event_reserve(buffer, 0, 3)) {
            data[0] = static_cast<jack_midi_data_t>(m >> 16);
            data[1] = static_cast<jack_midi_data_t>(m >> 8);
            data[2] = static_cast<jack_midi_data_t>(m);
            self->pending_.store(0, std::memory_order_release);
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::atomic<unsigned> pending_{0};
};

struct PedalLooper {
    HeadlessClock clock;
    HeadlessPump pump{clock};
    std::ostringstream shown;
    HeadlessDialogs dialogs{shown};
    FakeSystemInfo system;
    std::unique_ptr<KreiselCore> core;

    PedalLooper() {
        system.memory = {256ull << 20, 128ull << 20};
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        TFormKreisel& m = core->Main();
        m.CBUsePrepareTime.SetChecked(false);
        m.CBUseFixedLoopTime.SetChecked(false);
        m.CBContinuousRecordingLoops.SetChecked(false);
        core->Start();
    }
    // The core thread for a while: timers, and silent blocks as the sound card would hand them.
    void Serve(SteadyClock::duration time) {
        std::vector<int16_t> block(static_cast<std::size_t>(core->E().BlockBytes / 2), 0);
        const auto until = SteadyClock::now() + time;
        while (SteadyClock::now() < until) {
            pump.WaitForEvents(10);
            core->Card().InputDataEvent(block.data(), core->E().BlockBytes);
        }
    }
    int Memo1() { return core->Interpreter().Memo[1]; }
    std::string Status() { return core->Main().LabelStatus.Text(); }
};

TEST(MidiPedalJack, ALongAndAShortPressOnAJackMidiPortStartTheMacroOfKeySequ21) {
    SKIP_WITHOUT_JACKD();
    Watchdog watchdog(120s);
    JackServer server(48000, 256);
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;
    JackPedal pedal;
    ASSERT_TRUE(pedal.Open(&why)) << why;

    PedalLooper looper;
    KreiselCore& core = *looper.core;
    // With no loop yet a sequence key records; once A1 plays, its presses are timed.
    core.Main().SBRecord.UserClick();
    looper.Serve(300ms);
    core.Main().SBRecord.UserClick();
    looper.Serve(300ms);
    ASSERT_TRUE(core.E().Playing && !core.E().Recording);
    core.Macros().MemoMacros.SetLines({"ON KeySequ_21", "SET MEMO_1 MEMO_1 + 1", "RETURN"});
    core.Macros().ButtonStartStopMacros.Click();
    ASSERT_TRUE(core.Interpreter().MacrosActive());
    core.Keys().Settings.KeyLongMinMSec = 400;
    core.Keys().Settings.KeyDistMaxMSec = 1000;
    core.Midi().Mappings[0] = {MidiKind::Note, 36, 13}; // return: a sequence key
    core.Midi().MidiPortName = "JACK: pedal:out";
    core.MidiControls().SBMidiKeys.UserClick();
    ASSERT_TRUE(core.Midi().IsOpen())
        << looper.Status() << "\ninputs listed: " << core.MidiControls().CBMidiPorts.Items().size();

    constexpr int kTakes = 3;
    std::vector<std::string> seen;
    for (int take = 0; take < kTakes; ++take) {
        looper.Serve(1200ms); // the sequence before, if any, has ended
        const int before = looper.Memo1();
        ASSERT_TRUE(pedal.Send(0x90, 36, 100));
        looper.Serve(1300ms); // long: far above 400 ms
        ASSERT_TRUE(pedal.Send(0x80, 36, 0));
        looper.Serve(150ms); // pause: far below 1000 ms
        ASSERT_TRUE(pedal.Send(0x90, 36, 90));
        looper.Serve(50ms);                   // short: far below 400 ms
        ASSERT_TRUE(pedal.Send(0x90, 36, 0)); // note on with velocity 0 lets go
        const auto until = SteadyClock::now() + 3s;
        while (looper.Memo1() == before && SteadyClock::now() < until)
            looper.Serve(20ms);
        if (looper.Memo1() == before + 1) {
            EXPECT_EQ(looper.Status(), "Sequenz: 21");
            return;
        }
        // Nothing at all reached the key handler: no load explains that.
        ASSERT_EQ(looper.Status().rfind("Sequenz: ", 0), 0u) << "no pedal key arrived: " << looper.Status();
        seen.push_back(looper.Status());
        std::fprintf(stderr, "take %d stretched by load (%s): again\n", take + 1, seen.back().c_str());
    }
    GTEST_SKIP() << "the machine stretched every take: " << seen.front();
}

} // namespace
} // namespace kreisel
