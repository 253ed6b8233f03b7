#pragma once
// A document for the channel tool tests: a grid, channels filled by the test, a headless prompt
// and, when asked for, a main-frame queue that stands for the UI thread (so that tool steps run
// on the controller's worker).

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"

namespace zun::test {

struct ToolDoc {
    HeadlessPrompt prompt;
    std::unique_ptr<QueuedMainFrameChannel> frame;
    std::unique_ptr<CZunDoc> doc;

    explicit ToolDoc(int nx, int ny, int nz, bool worker = false) {
        RegisterDocumentClasses();
        if (worker)
            frame = std::make_unique<QueuedMainFrameChannel>([this](const FrameMessage& m) {
                if (doc && m.document == doc.get()) doc->HandleFrameMessage(m);
            });
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, frame.get()});
        doc->OnNewDocument();
        doc->ResizeVolume({std::uint32_t(nx), std::uint32_t(ny), std::uint32_t(nz)}, {0, 0, 0});
    }
    ZunImage& Sample() { return doc->GetSample(); }
    // A channel of the kind at the end of its place; its index.
    int Add(int kind, const std::string& name, float min = 0, float max = 1) {
        doc->InsertChannel(kind, doc->InsertPositionLast(kind), name);
        const int i = Sample().FindChanIndex(name);
        Sample().GetChan(i)->range = {min, max};
        return i;
    }
    std::uint16_t* Words(int i) { return Sample().GetChan(i)->Data(); }
    std::vector<std::uint16_t> Copy(int i) {
        const ZunChan* c = Sample().GetChan(i);
        return {c->Data(), c->Data() + c->GetNumVoxels()};
    }
    std::string Log() { return doc->Logger().Text(); }
    std::vector<std::string> Messages() {
        std::vector<std::string> t;
        for (const auto& r : prompt.Requests()) t.push_back(r.text);
        prompt.Clear();
        return t;
    }
    // Delivers the worker's messages until the controller's step has ended.
    void WaitForStep(int timeoutMs = 60000) {
        if (!frame) return;
        for (int waited = 0; doc->GetModel().ToolStepRunning() && waited < timeoutMs; waited += 5)
            frame->WaitAndPump(5);
    }
};

// Writes raw little-endian arrays to files and runs a Python script over them.
template <class T>
inline void WriteRaw(const std::string& path, const std::vector<T>& v) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size() * sizeof(T)));
}
template <class T>
inline std::vector<T> ReadRaw(const std::string& path, std::size_t n) {
    std::vector<T> v(n);
    std::ifstream f(path, std::ios::binary);
    f.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(n * sizeof(T)));
    if (!f) v.clear();
    return v;
}
inline int RunPython(const std::string& args) {
    const std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/toolpeers.py " + args;
    return std::system(cmd.c_str());
}
inline std::string TempPath(const std::string& name) {
    return std::string(ZUN_TEST_BINARY_DIR) + "/" + name;
}

}  // namespace zun::test
