// KalmiraB's hide window: the file to hide is compressed when chosen and held
// in memory for the runs.
#pragma once

#include "hide/frmV.h"
#include "platform/secure_memory.h"

#include <cstdint>
#include <vector>

namespace kalmira::hide {

class FrmVFile : public FrmV {
    Q_OBJECT
public:
    explicit FrmVFile(Services &services);

    // The compressed bytes held for the next runs.
    const std::vector<std::uint8_t> &data() const { return data_; }

    QLabel *Label4, *Label5;

protected:
    void chooseSource() override;
    PreparedHide prepareWith(HideProgress &progress, payload::Mode cipher) override;
    bool showThumbnail(const QString &path) override;
    void setCarrierFlag(bool usable) override;
    void enableInfoButtons(bool on, bool) override { Command9->setEnabled(on); }
    void showCarrierInfo() override;
    bool carrierAcceptable(const std::string &carrier) override;
    std::int64_t dataLength() const override { return static_cast<std::int64_t>(data_.size()); }
    bool carrierDropAllowed() override;
    bool stealthPayload(StealthPayload &out) override;
    std::int64_t stealthPayloadBytes() const override;
    void formatSwitched() override;

private:
    // Compresses `path` into data_; false (with its message shown) when it failed.
    bool compress(const std::string &path, std::int64_t length);
    // The library's result status (0 done, -200 the file is in use).
    int compressTo(const std::string &path, platform::SecureBytes &packed);
    // The stealth format takes the file as it is: only the size lines change.
    bool takeForStealth(const std::string &path, std::int64_t length);

    std::vector<std::uint8_t> data_;
    int shownPercent_ = -1;
};

} // namespace kalmira::hide
