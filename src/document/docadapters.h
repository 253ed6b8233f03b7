#pragma once
// The document's sample as the computation, the plug-ins and the property computation see it.

#include "compute/computedocument.h"
#include "compute/propertydocument.h"

namespace zun {

class CZunDoc;
class ZunImage;

// The sample's grid size.
std::array<std::uint32_t, 3> GridSizeOf(const ZunImage& sample);

class DocComputeSample : public ComputeSample {
public:
    explicit DocComputeSample(CZunDoc& doc) : doc_(doc) {}

    std::array<std::uint32_t, 3> Dims() const override;
    int ChannelCount() const override;
    int ChannelKind(int ch) const override;
    std::uint16_t* ChannelWords(int ch) override;
    std::array<float, 2> ChannelRange(int ch) const override;
    void SetChannelRangeValue(int ch, int which, float value) override;
    int ImportedBitDepth(int ch) const override;
    std::array<std::int32_t, 3> ImportCounts(int ch) const override;
    void ResetRecordedSettings(int ch) override;
    int MaskChannel() const override;
    std::uint16_t MaskWord() const override;

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
