// Line changes into key strokes; a vanished port ends port control instead of failing each block.
#include "shell/PortControl.h"

namespace kreisel {

void PortControl::Close() {
    port_.reset();
    last_ = 0;
    if (StatusChanged) StatusChanged();
}

bool PortControl::Reopen(const std::string& name) {
    Close();
    if (!PortEnabled) return true;
    port_ = ports_.Open(name);
    if (port_ == nullptr) {
        PortEnabled = false;
        if (Report) Report("Port \"" + name + "\" momentan nicht verfügbar !");
        return false;
    }
    PortName = name;
    unsigned bits = 0;
    last_ = port_->ReadModemStatus(bits) ? bits : 0;
    lost_ = false;
    if (StatusChanged) StatusChanged();
    return true;
}

void PortControl::Queue(int key, bool down) {
    if (key == 0 || queued_ >= static_cast<int>(queue_.size())) return;
    queue_[static_cast<std::size_t>(queued_++)] = Event{key, down};
}

void PortControl::PortActions() {
    if (!PortEnabled || port_ == nullptr || lost_) return;
    unsigned now = 0;
    if (!port_->ReadModemStatus(now)) {
        lost_ = true; // closed and reported after the block
        return;
    }
    if (now == last_) return;
    for (std::size_t i = 0; i < kLineBits.size(); ++i) {
        const unsigned bit = kLineBits[i];
        if ((now & bit) == (last_ & bit)) continue;
        const int key = SendOfPortBit[i];
        if (PortUseBothTransitions) {
            Queue(key, true);
            Queue(key, false);
        } else {
            Queue(key, ((now & bit) != 0) != PortUseInverting);
        }
    }
    last_ = now;
    statusChanged_ = true;
}

void PortControl::Deliver() {
    const int n = queued_;
    queued_ = 0;
    for (int i = 0; i < n; ++i)
        if (SendKey) SendKey(queue_[static_cast<std::size_t>(i)].key, queue_[static_cast<std::size_t>(i)].down);
    if (statusChanged_) {
        statusChanged_ = false;
        if (StatusChanged) StatusChanged();
    }
    if (lost_) {
        lost_ = false;
        PortEnabled = false;
        Close();
        if (Report) Report("Port \"" + PortName + "\" ist nicht mehr verfügbar - Port-Steuerung ausgeschaltet.");
    }
}

} // namespace kreisel
