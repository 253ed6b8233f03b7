#pragma once
// The sample of a document as the computation sees it. A document whose sample object may be
// replaced (a load) derives from this and answers Image() with the current one.

#include "compute/computedocument.h"

namespace zun {

class ZunImage;

class ZunImageSample : public ComputeSample {
public:
    explicit ZunImageSample(ZunImage* image = nullptr) : image_(image) {}

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

protected:
    virtual ZunImage& Image() const { return *image_; }

private:
    ZunImage* image_;
};

}  // namespace zun
