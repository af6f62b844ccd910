// KalmiraB's extract window: saves the hidden file and can open it.
#pragma once

#include "extract/frmEx.h"

namespace kalmira::extract {

class FrmExFile : public FrmEx {
    Q_OBJECT
public:
    explicit FrmExFile(Services &services);

    // Path of the last file a run wrote (ShowExtrakt opens it).
    const QString &extractedFile() const { return extractedFile_; }

    QLabel *Label4, *Label5, *Label6;

protected:
    void extractRun() override;
    void clearResults() override;
    void showThumbnail(const QString &path) override;
    bool carrierUsable() const override;
    bool extractStealth() override;
    void setCarrierUsable(bool usable) override;
    void showCarrierSize(const QString &path) override;

private:
    void layOut();
    QString extractedFile_;
};

} // namespace kalmira::extract
