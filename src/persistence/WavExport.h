// The export of the output to a WAV file while the looper plays: the file is opened (appending
// to or overwriting an existing one), every block's loop mix is appended while SBDoExport is
// down, and the header is fixed when the export finishes. The header is brought up to date after
// every block, so the file is a valid WAV at any moment, also after a write error such as a full
// disk, where the file is cut back to the last whole frame written.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "transport/MainControls.h"

#include <cstdint>
#include <string>

namespace kreisel {

class WavExport {
  public:
    // A canonical header counts the data in 32 bits: no export grows beyond 4096 MiB.
    static constexpr int64_t kMaxExportBytes = int64_t{4096} << 20;

    WavExport(Engine& engine, MainControls& controls, Dialogs& dialogs, SystemInfo& systemInfo);
    // Fixes the header and closes a running export; the controls are left alone.
    ~WavExport();
    WavExport(const WavExport&) = delete;
    WavExport& operator=(const WavExport&) = delete;

    // Settings key "Limit_ExportFilesize_MB" (section Special): > 0 fixes the size limit in MiB,
    // otherwise the free disk space at the start of an export is the limit.
    int LimitExportFilesizeMB = 0;
    char DecimalSeparator = '.';

    // Starts an export into `path` (chosen in the export file dialog). An existing file is
    // appended to or overwritten as the user answers; one that is not an export of this program
    // at this rate is never appended to: it is overwritten or another name is chosen. Returns
    // false when the user cancels or the file cannot be used ("Fehler in \"ExportLoops\" !!" in
    // the status line).
    bool Start(const std::string& path);
    // SBFinishExport, a new export start and the reset of all recordings.
    void Finish();

    // The block path: one output block's loop mix while SBDoExport is down. Allocates nothing and
    // touches no control; RefreshDisplay shows what happened.
    void ExportBlock(const int16_t* frames, int bytes);
    // The engine let SBDoExport follow SBDoExportMarker at a loop end.
    void SwitchFollowsMarker(bool down);

    void SBDoExportClick();
    void SBDoExportMarkerClick();

    // Between blocks (the status timer): the size display, the switches after the limit was
    // reached, and the end of an export whose file could not be written.
    void RefreshDisplay();

    bool Running() const { return fd_ >= 0; }
    const std::string& FileName() const { return path_; }
    int64_t Limit() const { return limit_; }
    int64_t FileSize() const { return fileSize_; }

  private:
    bool Fail();
    // Writes the header of the open file and shows the export as running.
    bool Begin();
    void ShowActive();
    void ShowFinished();
    void ShowSize();
    void SetSwitch(Control& c, bool down);
    void WriteSizes();
    void CloseFile();
    std::string Seconds(int64_t fileBytes, const char* pattern) const;

    Engine& e_;
    MainControls& c_;
    Dialogs& dialogs_;
    SystemInfo& systemInfo_;

    int fd_ = -1;
    std::string path_;
    int64_t limit_ = 0;
    std::string limitText_;
    int64_t fileSize_ = 0;
    // Set by the block path, taken up by RefreshDisplay.
    bool sizeChanged_ = false;
    int writeError_ = 0;
};

} // namespace kreisel
