#include "script/sampledocument.h"

#include "model/zunchan.h"

namespace zun::script {

bool SampleScriptDocument::FindChannel(const std::string& name, ChannelData& out) {
    ZunChan* chan = image_.FindChan(name);
    if (!chan) return false;
    out.words = chan->Data();
    out.dims.assign(chan->GetDims().begin(), chan->GetDims().end());
    // A channel without voxel memory reads as an empty array.
    if (!out.words) out.dims.assign(out.dims.size(), 0);
    out.min = chan->range.size() > 0 ? chan->range[0] : 0.0f;
    out.max = chan->range.size() > 1 ? chan->range[1] : 1.0f;
    return true;
}

}  // namespace zun::script
