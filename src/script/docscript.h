#pragma once

#include <string>
#include <vector>

#include "script/editdata.h"
#include "script/sampledocument.h"

namespace zun {
class CZunDoc;
class ZunChan;
}  // namespace zun

namespace zun::script {

// The language over a real document: channels come from its sample; a line that assigned voxel
// data leaves the document modified the way its own data edits do, and after every line the
// views hear that the data and its statistics may have changed.
class ZunDocScriptDocument : public SampleScriptDocument {
public:
    explicit ZunDocScriptDocument(CZunDoc& doc);

    bool FindChannel(const std::string& name, ChannelData& out) override;
    void SetModified() override { assigned_ = true; }
    void DataEdited() override;

private:
    CZunDoc& doc_;
    // The channels the line named. Which of them an assignment wrote is not told, so all of them
    // count as edited; a computed channel among them makes the next computation start over.
    std::vector<ZunChan*> named_;
    bool assigned_ = false;
};

// The console's line against the document: the printed text. While a computation runs the line
// is refused (the computation owns the voxels) and the document is left alone. syntaxErrorAt as
// for ExecuteLine.
std::string ExecuteDocumentLine(CZunDoc& doc, const std::string& text, const EditDataOptions& options = {},
                                size_t* syntaxErrorAt = nullptr);

}  // namespace zun::script
