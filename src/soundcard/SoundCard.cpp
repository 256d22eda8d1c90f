// Start and stop of the sound card, the service of the block queue on the core thread, counters,
// error list and the latency of the output queue.
#include "soundcard/SoundCard.h"

#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <vector>

namespace kreisel {

namespace {

std::optional<int> ParseWhole(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;
    int value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

} // namespace

std::optional<int> AskNumber(Dialogs& dialogs, const TextQuery& query, int min, int max, int maxTries) {
    for (int tries = 0; tries < maxTries; ++tries) {
        const std::optional<std::string> answer = dialogs.InputText(query);
        if (!answer) continue;
        const std::optional<int> value = ParseWhole(*answer);
        if (value && *value >= min && *value <= max) return value;
    }
    return std::nullopt;
}

std::string WaveInErrorText(int code) {
    static constexpr const char* kTexts[] = {
        "unspecified error",         "device ID out of range",
        "driver failed enable",      "device already allocated",
        "device handle is invalid",  "no device driver present",
        "memory allocation error",   "function is not supported",
        "error value out of range",  "invalid flag passed",
        "invalid parameter passed",  "handle being used simultaneously on another thread (eg callback)",
        "specified alias not found", "bad registry database",
        "registry key not found",    "registry read error",
        "registry write error",      "registry delete error",
        "registry value not found",  "driver does not call DriverCallback",
    };
    if (code < 1 || code > 20) return {};
    return kTexts[code - 1];
}

SoundCard::SoundCard(Engine& engine, SoundCardControls& controls, Dialogs& dialogs, Clock& clock,
                     Timers& timers, EventPump& pump)
    : e_(engine), c_(controls), dialogs_(dialogs), clock_(clock), timers_(timers), pump_(pump) {
    InputDataEvent = [this](const int16_t* buffer, int bytes) { e_.SndInputEvent(buffer, bytes); };
    sampleRate_ = outRate_ = c_.SEFreq.Value();
    counters_.MeasuredRate = sampleRate_;
}

SoundCard::~SoundCard() {
    StopPollTimer();
    if (device_ != nullptr) {
        device_->Close();
        device_->SetErrorCallback({});
    }
}

void SoundCard::SetDevice(AudioDevice* device) {
    if (device == device_) return;
    if (!stopped_) Stop();
    if (device_ != nullptr) device_->SetErrorCallback({});
    device_ = device;
    // The callback may run on any thread: it only leaves the code for the next poll.
    if (device_ != nullptr)
        device_->SetErrorCallback([this](int code) { deviceError_.store(code, std::memory_order_relaxed); });
}

void SoundCard::SetDeviceIds(int in, int out) {
    inDeviceId_ = in;
    outDeviceId_ = out;
}

// ---------------------------------------------------------------------------------------------
// Start and stop

bool SoundCard::Start() {
    Stop();
    if (!CheckRateAndBlock()) return false;
    if (!OpenAndStart()) {
        CloseDevice();
        return false;
    }
    if (OnStarted) OnStarted();
    return true;
}

bool SoundCard::CheckRateAndBlock() {
    int rate = c_.SEFreq.Value();
    if (rate < 1) {
        const auto answer = AskNumber(dialogs_,
                                      {.caption = "Abtastrate-Eingabe",
                                       .prompt = "Geben Sie eine Abtastrate [100-100000] ein!",
                                       .defaultText = std::to_string(sampleRate_)},
                                      100, 100000);
        if (!answer) {
            ReportError("Start abgebrochen: keine gültige Abtastrate");
            return false;
        }
        rate = *answer;
        SuppressActions quiet(c_.SEFreq);
        c_.SEFreq.SetValue(rate);
    }

    int64_t bytes = int64_t{c_.SEMemBlockFrames.Value()} * 4;
    if (bytes < 4 || bytes > BlockQueue::kMaxBlockBytes) {
        // Fewer than 4 bytes would make a block without a single frame.
        const auto answer = AskNumber(dialogs_,
                                      {.caption = "Blockgrößen-Eingabe",
                                       .prompt = "Geben Sie eine Blockgröße [1-40000] ein !",
                                       .defaultText = std::to_string(bytes)},
                                      4, BlockQueue::kMaxBlockBytes);
        if (!answer) {
            ReportError("Start abgebrochen: keine gültige Blockgröße");
            return false;
        }
        bytes = *answer;
    }
    const int blockValues = static_cast<int>(bytes / 4) * 2;
    const int blockBytes = blockValues * 2;
    if (c_.SEMemBlockFrames.Value() != blockBytes / 4) {
        SuppressActions quiet(c_.SEMemBlockFrames);
        c_.SEMemBlockFrames.SetValue(blockBytes / 4);
    }

    const bool changed = e_.SampleRate != rate || e_.BlockBytes != blockBytes;
    sampleRate_ = rate;
    e_.SampleRate = rate;
    e_.BlockBytes = blockBytes;
    if (changed) {
        e_.BuildFadeTables();
        if (OnFormatChanged) OnFormatChanged();
    }
    return true;
}

bool SoundCard::OpenAndStart() {
    if (device_ == nullptr) {
        ReportError("Problem creating record handle:  " + WaveInErrorText(AudioNoDriver));
        return false;
    }
    const int frames = e_.BlockFrames();
    auto openErrorText = [this](int code) {
        std::string text = WaveInErrorText(code);
        return text.empty() ? device_->ErrorText(code) : text;
    };

    queue_.Reset(e_.BlockBytes);
    returnedSeen_ = 0;
    lastMeasured_ = -1;
    underrunsSeen_ = overrunsSeen_ = 0;
    written_.fill({});
    measured_.fill({});
    avgLatencyMs_ = avgLatencyBlocks_ = 0;
    writtenFrames_ = delayBase_ = 0;
    delayKnown_ = false;
    delayShown_ = nextInputStart_ = -1;
    latencyChanged_ = false;
    pendingShortValues_ = 0;
    dropping_ = false;
    waiting_ = false;
    deviceError_.store(0, std::memory_order_relaxed);

    const StreamFormat in{sampleRate_, 2, frames};
    ShowStatus(c_.LabelInQueued, "wiQuerying...");
    if (device_->QueryInput(inDeviceId_, in) != AudioOk) {
        ReportError("Record format not supported");
        return false;
    }
    ShowStatus(c_.LabelInQueued, "wiOpening...");
    BlockQueue* queue = &queue_;
    int result = device_->OpenInput(
        inDeviceId_, in, [queue](const int16_t* data, int count) { queue->PushInput(data, count); });
    if (result != AudioOk) {
        ReportError("Problem creating record handle:  " + openErrorText(result));
        return false;
    }
    ShowStatus(c_.LabelInQueued, "wiOpen done ...");

    outRate_ = sampleRate_ + c_.SEOutFreqDeviation.Value();
    const StreamFormat out{outRate_, 2, frames};
    ShowStatus(c_.LabelOutQueued, "woQuerying...");
    result = device_->QueryOutput(outDeviceId_, out);
    if (result != AudioOk) {
        ReportError("Fehler " + std::to_string(result) + " in \"WaveOutOpen\"! (Play format not supported)");
        return false;
    }
    ShowStatus(c_.LabelOutQueued, "woOpening...");
    result = device_->OpenOutput(outDeviceId_, out,
                                 [queue](int16_t* data, int count) { queue->PullOutput(data, count); });
    if (result != AudioOk) {
        ReportError("Fehler " + std::to_string(result) +
                    " in \"WaveOutOpen\"! (Problem creating play handle)");
        return false;
    }
    ShowStatus(c_.LabelOutQueued, "woOpen done...");

    result = device_->Start();
    if (result != AudioOk) {
        ReportError("Fehler " + std::to_string(result) + " in \"WaveInStart\" !");
        return false;
    }
    stopped_ = false;
    deviceLatency_ = DeviceLatencyFrames();
    c_.LabelWaveFormat.SetText("Format: 16 Bit Stereo - " + std::to_string(sampleRate_) + " Hz");
    ResetCounters();
    c_.ButtonStartStop.SetText("Stop");
    StartPollTimer();
    return true;
}

void SoundCard::CloseDevice() {
    if (device_ != nullptr) device_->Close();
}

void SoundCard::Stop() {
    CloseDevice();
    StopPollTimer();
    stopped_ = true;
    waiting_ = false;
    c_.ButtonStartStop.SetText("Start");
}

void SoundCard::StartStop() {
    if (stopped_)
        Start();
    else
        Stop();
}

void SoundCard::Restart() {
    StartStop();
    pump_.WaitForEvents(100);
    StartStop();
    pump_.WaitForEvents(100);
}

void SoundCard::StartPollTimer() {
    StopPollTimer();
    pollTimer_ = timers_.Start(kPollMs, true, [this] { Poll(); });
}

void SoundCard::StopPollTimer() {
    if (pollTimer_ != 0) timers_.Stop(pollTimer_);
    pollTimer_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Serving the queue

int SoundCard::ServeInput() {
    queue_.ConsumeWakeups();
    ServeOutput();
    int taken = 0;
    // Claimed one by one: a waiting loop inside the engine may serve the next blocks itself.
    while (const int16_t* block = queue_.ClaimInput()) {
        ++taken;
        ++counters_.InBlocks;
        ++counters_.InBlocksPerSecond;
        const bool show = CountersShown();
        if (show) ShowQueued();
        const int bytes = queue_.BlockBytes();
        nextInputStart_ = queue_.InputStartFrame(block) + bytes / 4;
        if (!closing_ && !stopped_ && queue_.QueuedOutput() < BlockQueue::kMaxQueuedOutput) {
            dropping_ = false;
            if (show) {
                FixedText position;
                AppendPositionText(position);
                c_.LabelWavePos.AssignText(position.View());
            }
            const bool timed = show;
            const auto begin = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
            FollowDelay(queue_.InputStartFrame(block));
            ProcessBlock(block, bytes);
            if (timed) {
                const std::chrono::duration<double, std::milli> used =
                    std::chrono::steady_clock::now() - begin;
                // "#.##0": three decimals, no integer digit below 1.
                c_.LabelUsedTime.AssignText(
                    FixedText().AppendFixed(used.count(), 3, DecimalSeparator, false).View());
            }
            counters_.LastBytes = bytes;
            if (bytes < 99999999) {
                counters_.InSamples += bytes / 2;
                counters_.SamplesSinceDisplay += bytes / 2;
            }
            if (c_.CBUpdateCounters.Checked()) UpdateCounterDisplay(show);
        } else {
            ++counters_.DroppedInBlocks;
            if (!dropping_ && !closing_ && !stopped_)
                ReportError("Eingabeblock verworfen: " + std::to_string(BlockQueue::kMaxQueuedOutput) +
                            " Ausgabeblöcke warten");
            dropping_ = true;
        }
        queue_.ReleaseInput(block);
        latencySnapshot_ = counters_.WriteCounter;
        ServeOutput();
    }
    Poll();
    return taken;
}

// The block boundary: whatever fails inside a block is reported and must not keep the block
// processor marked as busy, or every later block would be ignored.
void SoundCard::ProcessBlock(const int16_t* block, int bytes) {
    if (!InputDataEvent) return;
    constexpr const char* kFailed = "Fehler bei der Verarbeitung eines Blocks";
    std::string text; // made only when a block failed
    try {
        InputDataEvent(block, bytes);
        return;
    } catch (const std::exception& error) {
        text = std::string(kFailed) + ": " + error.what();
    } catch (...) {
        text = kFailed;
    }
    e_.InPrcBlock = false;
    ++counters_.FailedBlocks;
    ReportError(text);
}

void SoundCard::ServeOutput() {
    if (closing_) return;
    const int64_t returned = queue_.OutputBlocksReturned();
    if (returned <= returnedSeen_) return;
    for (; returnedSeen_ < returned; ++returnedSeen_) {
        ++counters_.OutBlocks;
        ++counters_.OutBlocksPerSecond;
        MeasureReturned(returnedSeen_);
        const Written& w = written_[static_cast<size_t>(returnedSeen_ % kLatencyRing)];
        if (w.Seq != returnedSeen_) continue;
        // Devices that serve input and output on threads of their own put a period of wobble
        // on single figures, and a server that runs late moves one now and then: the base is
        // kept while the newest figures still lie on both sides of it, and moves to their
        // median when all of them have left it (the output ran dry, input was lost).
        bases_[static_cast<size_t>(returnedSeen_ % kDelayBases)] =
            queue_.StartedAtInputFrame(returnedSeen_) - w.WrittenBefore;
        const auto known = static_cast<size_t>(std::min<int64_t>(returnedSeen_ + 1, kDelayBases));
        const auto [low, high] = std::minmax_element(bases_.begin(), bases_.begin() + known);
        if (!delayKnown_ || delayBase_ < *low || delayBase_ > *high) {
            std::array<int64_t, kDelayBases> sorted = bases_;
            std::nth_element(sorted.begin(), sorted.begin() + known / 2, sorted.begin() + known);
            delayBase_ = sorted[known / 2];
            delayKnown_ = true;
        }
    }
    ComputeAverages();
    if (CountersShown()) ShowQueued();
}

void SoundCard::MeasureReturned(int64_t seq) {
    const Written& w = written_[static_cast<size_t>(seq % kLatencyRing)];
    if (w.Seq != seq) return;
    Measured& m = measured_[static_cast<size_t>(seq % kLatencyRing)];
    m.Seq = seq;
    m.Depth = static_cast<int32_t>(latencySnapshot_ - w.WriteCount);
    m.Ms =
        static_cast<double>(queue_.ReturnedAtFrame(seq) - w.FramesAtWrite) * 1000.0 / std::max(outRate_, 1);
    lastMeasured_ = seq;
}

void SoundCard::ComputeAverages() {
    if (lastMeasured_ < 0) return;
    // The minimum over the newest entries, then the average of everything near that minimum, so
    // that single late returns do not lift the figure.
    int32_t minDepth = INT32_MAX;
    double minMs = 0;
    bool any = false;
    for (int64_t seq = std::max<int64_t>(0, lastMeasured_ - kLatencyNewest + 1); seq <= lastMeasured_;
         ++seq) {
        const Measured& m = measured_[static_cast<size_t>(seq % kLatencyRing)];
        if (m.Seq != seq) continue;
        minDepth = std::min(minDepth, m.Depth);
        minMs = any ? std::min(minMs, m.Ms) : m.Ms;
        any = true;
    }
    if (!any) return;
    double depthSum = minDepth;
    double msSum = minMs;
    int count = 1;
    for (const Measured& m : measured_) {
        if (m.Seq < 0 || m.Depth - minDepth > 2) continue;
        depthSum += m.Depth;
        msSum += m.Ms;
        ++count;
    }
    avgLatencyBlocks_ = depthSum / count;
    avgLatencyMs_ = msSum / count;
}

void SoundCard::Poll() {
    if (const int code = deviceError_.exchange(0, std::memory_order_relaxed); code != 0) {
        const bool lost = code == AudioDeviceLost && !stopped_ && !waiting_;
        ReportError("Fehler " + std::to_string(code) +
                    " der Soundkarte: " + (device_ != nullptr ? device_->ErrorText(code) : std::string()) +
                    (lost ? "; die Loops bleiben, neuer Versuch jede Sekunde" : ""));
        if (lost) DeviceLost();
    }
    if (stopped_) return;
    if (waiting_) {
        if (clock_.TickCount() - lastReopenTick_ >= kReopenMs) TryReopen();
        return;
    }
    ServeOutput();
    // Between blocks: what the next block's delay will be (filling up may have added to it).
    if (!e_.InPrcBlock && nextInputStart_ >= 0) FollowDelay(nextInputStart_);
    ReportEpisode(queue_.Underruns(), underrunsSeen_, "Ausgabe-Unterlauf (Stille gespielt)");
    ReportEpisode(queue_.Overruns(), overrunsSeen_, "Eingabe-Überlauf (Block verloren)");
}

void SoundCard::DeviceLost() {
    CloseDevice();
    waiting_ = true;
    lastReopenTick_ = clock_.TickCount();
    if (OnDeviceLost) OnDeviceLost();
}

void SoundCard::TryReopen() {
    lastReopenTick_ = clock_.TickCount();
    quietErrors_ = true;
    const bool started = OpenAndStart();
    quietErrors_ = false;
    if (!started) {
        CloseDevice();
        waiting_ = true;
        return;
    }
    ReportError("Audiogerät wieder da, es spielt weiter");
    if (OnStarted) OnStarted();
}

void SoundCard::ReportEpisode(int64_t now, int64_t& seen, const char* text) {
    if (now <= seen) return;
    const int64_t n = now - seen;
    seen = now;
    ReportError(n == 1 ? std::string(text) : text + (" x " + std::to_string(n)));
}

// ---------------------------------------------------------------------------------------------
// Output

bool SoundCard::WriteOutBlock(const int16_t* frames, int bytes) {
    const int shorten = pendingShortValues_;
    pendingShortValues_ = 0;
    if (stopped_ || closing_ || frames == nullptr) return false;
    ServeOutput();
    const int length = shorten >= 1 ? bytes - 2 * shorten : bytes;
    const int64_t framesBefore = queue_.OutputFrames();
    if (length < 4 || !queue_.WriteOutput(frames, length / 4)) {
        ReportError("Ausgabeblock verworfen: Ausgabe-Warteschlange voll");
        return false;
    }
    ++counters_.WriteCounter;
    const int64_t seq = queue_.OutputBlocksWritten() - 1;
    written_[static_cast<size_t>(seq % kLatencyRing)] = {seq, counters_.WriteCounter, framesBefore,
                                                         writtenFrames_};
    writtenFrames_ += length / 4;
    return true;
}

int64_t SoundCard::QueueDelayFrames() const {
    return delayShown_;
}

// The delay the block about to be processed will have: its output starts where the written
// frames before it end.
void SoundCard::FollowDelay(int64_t inputStart) {
    if (delayKnown_) {
        const int64_t delay = delayBase_ + writtenFrames_ - inputStart;
        // Small wobbles (a device whose input and output periods are not served in step) are
        // not worth moving the loops for.
        if (delayShown_ < 0 || std::abs(delay - delayShown_) > kDelayToleranceFrames) {
            delayShown_ = delay;
            latencyChanged_ = true;
        }
    }
    if (const int latency = DeviceLatencyFrames(); latency != deviceLatency_) {
        deviceLatency_ = latency;
        latencyChanged_ = true;
    }
    if (latencyChanged_) {
        latencyChanged_ = false;
        if (OnLatencyChanged) OnLatencyChanged();
    }
}

void SoundCard::ShortenNextOutBlock(int values) {
    // At most half a block, and whole frames only: an odd count of values would swap the
    // channels of everything after it.
    int v = std::clamp(values, 0, e_.BlockValues() / 2);
    v -= v % 2;
    pendingShortValues_ = v;
}

int SoundCard::DeviceLatencyFrames() const {
    if (device_ == nullptr || stopped_) return 0;
    return std::max(0, device_->InputLatencyFrames()) + std::max(0, device_->OutputLatencyFrames());
}

// ---------------------------------------------------------------------------------------------
// Counters and displays

void SoundCard::ResetCounters() {
    const uint32_t writes = counters_.WriteCounter;
    counters_ = {};
    counters_.WriteCounter = writes;
    counters_.MeasuredRate = sampleRate_;
    const int64_t now = clock_.TickCount();
    secondTick_ = rateTick_ = now;
    ratePos_ = inZero_ = GetPosition(true);
    outZero_ = GetPosition(false);
}

int64_t SoundCard::GetPosition(bool input) const {
    if (device_ == nullptr || stopped_) return 0;
    return input ? device_->InputPosition() : device_->OutputPosition();
}

std::string SoundCard::PositionText() const {
    FixedText text;
    AppendPositionText(text);
    return text.Str();
}

void SoundCard::AppendPositionText(FixedText& text) const {
    const int64_t in = GetPosition(true) - inZero_;
    const int64_t out = GetPosition(false) - outZero_;
    const int64_t diff = in - out;
    const double blocks = static_cast<double>(diff) / std::max(queue_.BlockFrames(), 1);
    // "0.0": one decimal, at least one integer digit.
    text.Append(in).Append("/").Append(out).Append(" //").AppendFixed(blocks, 1, DecimalSeparator);
    text.Append(" Bl. = ").Append(diff).Append(" Frames");
}

void SoundCard::ShowQueued() {
    const int inQueued = BlockQueue::kInputBlocks - queue_.InputBlocksReady() - queue_.InputBlocksInProcess();
    c_.LabelInQueued.AssignText(FixedText().Append(inQueued).View());
    c_.LabelOutQueued.AssignText(FixedText().Append(queue_.QueuedOutput()).View());
}

void SoundCard::ShowStatus(Control& label, const char* text) {
    label.SetText(text);
}

bool SoundCard::CountersShown() const {
    return c_.CBUpdateCounters.Checked() && c_.Owner.Visible();
}

// After every processed block while the counters are on. The per-second figures are counted
// whether or not anybody sees them; the labels are written only while the window shows them (it refreshes them within a
// block once it opens), and built in place, without allocating.
void SoundCard::UpdateCounterDisplay(bool visible) {
    auto show = [visible](Control& label, int64_t value) {
        if (visible) label.AssignText(FixedText().Append(value).View());
    };
    show(c_.LabelSamplesTotal, counters_.InSamples);
    show(c_.LabelBytesReceived, counters_.LastBytes);
    const int64_t now = clock_.TickCount();
    if (now - secondTick_ < 1000) return;
    secondTick_ = now;
    show(c_.LabelInPerSec, counters_.InBlocksPerSecond);
    show(c_.LabelOutPerSec, counters_.OutBlocksPerSecond);
    counters_.InBlocksPerSecond = 0;
    counters_.OutBlocksPerSecond = 0;
    counters_.SamplesSinceDisplay = 0;
    const int64_t pos = GetPosition(true);
    if (pos < ratePos_) {
        // The device started over: so does the measurement.
        ratePos_ = pos;
        rateTick_ = now;
    } else if (now > rateTick_) {
        counters_.MeasuredRate =
            static_cast<double>(pos - ratePos_) * 1000.0 / static_cast<double>(now - rateTick_);
    }
    // "0.###0": the last decimal place is mandatory, so all four always show.
    if (visible)
        c_.LabelCalcRate.AssignText(FixedText().AppendFixed(counters_.MeasuredRate, 4, DecimalSeparator).View());
    show(c_.LabelInTotal, counters_.InBlocks);
    show(c_.LabelOutTotal, counters_.OutBlocks);
}

// ---------------------------------------------------------------------------------------------
// Error list

std::string SoundCard::DefaultTimeText() const {
    const int64_t ms = std::max<int64_t>(clock_.TickCount(), 0);
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d.%03d", static_cast<long long>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return text;
}

void SoundCard::ReportError(const std::string& text) {
    if (quietErrors_) return;
    ++errorCount_;
    const std::string time = TimeText ? TimeText() : DefaultTimeText();
    std::vector<std::string> lines = c_.MemoErrors.Lines();
    lines.push_back("(" + std::to_string(errorCount_) + ")  " + time + " :  " + text);
    if (lines.size() > static_cast<size_t>(kMaxErrorLines))
        lines.erase(lines.begin(), lines.end() - kMaxErrorLines);
    c_.MemoErrors.SetLines(std::move(lines));
    if (c_.CBShowWaveErrors.Checked()) dialogs_.ShowMessage(text);
}

void SoundCard::ClearErrors() {
    c_.MemoErrors.SetLines({});
}

} // namespace kreisel
