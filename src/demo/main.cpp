// Headless run of the engine on a generated signal, until the windows exist: records a loop
// from a tone, plays it back under a second recording and reports what came out.
#include "engine/Engine.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

namespace {

using namespace kreisel;

class DemoHooks : public EngineHooks {
  public:
    explicit DemoHooks(Engine& e) : e_(e) {}
    void SetPlayLoopEnd() override { e_.PlayPos = 0; }
    void LoopEndWhileRecording() override {
        // The recording ends with the cycle; the loop goes on playing.
        e_.Recording = false;
        e_.Rows[static_cast<size_t>(e_.RecLoopNr)].LoopOn = true;
        e_.PlayPos = 0;
        ++finished;
    }
    void WriteOutBlock(const int16_t* frames, int bytes) override {
        for (int i = 0; i < bytes / 2; ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(frames[i])));
            sumSquares += static_cast<double>(frames[i]) * frames[i];
        }
        values += bytes / 2;
    }
    int finished = 0;
    int peak = 0;
    double sumSquares = 0;
    long values = 0;

  private:
    Engine& e_;
};

} // namespace

int main() {
    constexpr int rate = 44100, frames = 1000;
    auto engine = std::make_unique<Engine>();
    Engine& e = *engine;
    DemoHooks hooks(e);
    e.SetHooks(&hooks);
    e.SampleRate = rate;
    e.BlockBytes = frames * 4;
    e.BuildFadeTables();
    if (!e.SizeLoopBuffers(int64_t{256} << 20, 32)) {
        std::fprintf(stderr, "Kreisel: kein Speicher für die Loops\n");
        return 1;
    }
    e.Rows[0].LoopOn = true; // hear the input
    e.PlayLoopEnd = 2 * 2 * rate; // two seconds
    e.Slots[1].LoopGroup = 0;
    e.GroupFirstLoop(0) = 1;
    e.LastGroupIdx = e.ActGroupIdx = e.ToGroupIdx = 0;
    e.LoopCount = 1;
    e.RecLoopNr = 1;
    e.Recording = true;
    e.Playing = true;

    std::vector<int16_t> block(2 * frames);
    long frame = 0;
    auto feed = [&](double hz, double amplitude) {
        for (int i = 0; i < frames; ++i, ++frame) {
            const auto v = static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * hz * frame / rate));
            block[2 * static_cast<size_t>(i)] = v;
            block[2 * static_cast<size_t>(i) + 1] = v;
        }
        e.SndInputEvent(block.data(), frames * 4);
    };
    const int blocksPerCycle = 2 * rate / frames + 1;
    for (int b = 0; b < blocksPerCycle; ++b) feed(440.0, 8000.0);
    std::printf("Loop A1 aufgenommen: %.3f Sek., %d Bytes\n",
                e.Slots[1].LoopLenBytes / 4.0 / rate, e.Slots[1].LoopLenBytes);
    for (int b = 0; b < 2 * blocksPerCycle; ++b) feed(0.0, 0.0);
    const double rms = std::sqrt(hooks.sumSquares / static_cast<double>(hooks.values));
    std::printf("%d Blöcke verarbeitet, Ausgang: Spitze %d, RMS %.0f\n", e.BlockCounter, hooks.peak, rms);
    return hooks.finished == 1 && hooks.peak > 0 ? 0 : 1;
}
