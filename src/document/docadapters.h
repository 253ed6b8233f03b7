#pragma once
// The document's sample as the computation, the plug-ins and the property computation see it.

#include "compute/computedocument.h"
#include "compute/propertydocument.h"
#include "compute/zunimagesample.h"

namespace zun {

class CZunDoc;
class ZunImage;

// The sample's grid size.
std::array<std::uint32_t, 3> GridSizeOf(const ZunImage& sample);

// The document's current sample (a load replaces the sample object).
class DocComputeSample : public ZunImageSample {
public:
    explicit DocComputeSample(CZunDoc& doc) : doc_(doc) {}

protected:
    ZunImage& Image() const override;

private:
    CZunDoc& doc_;
};

class DocPropertyView : public PropertyDocument {
public:
    explicit DocPropertyView(CZunDoc& doc) : doc_(doc) {}

    std::string Title() const override;
    std::array<std::uint32_t, 3> GridSize() const override;
    std::array<double, 3> VoxelSize() const override;
    int ChannelCount() const override;
    std::string ChannelName(int ch) const override;
    int ChannelKind(int ch) const override;
    void GetRange(int ch, float& min, float& max) const override;
    void SetRange(int ch, float min, float max) override;
    std::uint16_t* ChannelWords(int ch) override;
    void Log(const std::string& text) override;
    void SetProgress(float percent) override;
    std::int64_t RandomSeed() const override;
    void SetModified() override;
    int ActiveBoundary() const override;
    void SetStateText(const std::string& text) override;
    void MarkChannelModified(int ch) override;
    int ThreadCount() const override;
    int MaxReports() const override;

private:
    CZunDoc& doc_;
};

}  // namespace zun
