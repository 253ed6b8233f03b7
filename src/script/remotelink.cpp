// The remote commands that manage the run as a whole: the link, the documents and the main
// window.
#include "document/changehints.h"
#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"

namespace zun {

namespace {

constexpr int kLinkPauseMs = 500;
constexpr float kInitialVolumeScalar = 8e-6f;

// "stop" and "disconnect": close the command windows, stop the active document's computation
// (its end answers the "startcomp" that started it, if one did), then answer the request itself.
void StopLink(RemoteInterpreter& in, const RemoteCall& call, bool disconnect) {
    RemoteControlServer& server = in.Server();
    RemoteHost& host = in.Host();
    server.CloseCommandWindows();
    CZunDoc* doc = host.ActiveDocument();
    if (doc && doc->GetModel().GetState() == kRunning) {
        server.MarkComputationStopped(doc);
        host.Wait(kLinkPauseMs);
        // Returns once the computation has ended, its final reply sent.
        host.StopComputation(doc);
    }
    in.Ok(call);
    host.Wait(kLinkPauseMs);
    if (disconnect) server.Shutdown();
}

void Save(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, {});
    if (!doc) return;
    // A computation, another save or a boundary build under way: the file would not be whole.
    if (const std::string refused = doc->SaveRefusal(); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    if (const std::string refused = CheckPathUse(call.words[1], PathUse::kWriteFile); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    const std::string oldPath = doc->GetPathName();
    const std::string oldTitle = doc->GetTitle();
    doc->SetPathName(call.words[1]);
    if (!doc->OnFileSave()) {
        // A failed save must not pass for a saved document: the old name stays, and so does the
        // modified mark that guards the user's changes at close.
        doc->SetPathName(oldPath);
        doc->SetTitle(oldTitle);
        in.Error(call, "could not save (" + call.words[1] + ")");
        return;
    }
    RenameDocMod hint(StripFileExtension(doc->GetTitle()));
    doc->UpdateAllViews(nullptr, kHintRename, &hint);
    doc->SetModifiedFlag(false);
    in.Host().TitleChanged(doc);
    in.Ok(call, doc->GetTitle());
}

void WindowPos(RemoteInterpreter& in, const RemoteCall& call) {
    const auto& w = call.words;
    in.Host().SetMainWindowPos(ParseUIntArg(w[1]), ParseUIntArg(w[2]), ParseUIntArg(w[3]),
                               ParseUIntArg(w[4]));
    in.Ok(call);
}

void Initial(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, {});
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return;
    Model& model = doc->GetModel();
    JobFlags& jobs = model.Jobs();
    jobs.composition = false;
    jobs.property = false;
    jobs.plugins = false;
    jobs.cluster = false;
    Params& params = model.GetParams();
    for (int step : {kStepSegmentation, kStepLinear, kStepNonlinear}) params.stepFlags[step] = kStepChanged;
    in.Host().ResetPluginPreferences();
    doc->SetPlugins(false, {});
    if (in.Host().HasActiveTreeView()) in.Host().SetVolumeScalarProperty(kInitialVolumeScalar);
    in.Ok(call);
}

void SetTitle(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, {});
    if (!doc) return;
    doc->SetTitle(call.words[1]);
    in.Host().TitleChanged(doc);
    in.Ok(call);
}

void NewDocument(RemoteInterpreter& in, const RemoteCall& call) {
    // Refused before anything is made: documents requested without end would take the memory.
    if (const std::string refused = docmsg::NoRoomForDocument(in.Host().Documents().size());
        !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    // The new document itself: when none could be made, the active one is not it.
    CZunDoc* doc = in.Host().NewDocument();
    if (!doc) {
        in.Error(call, "could not create a new document");
        return;
    }
    if (!call.words[1].empty()) {
        doc->SetTitle(call.words[1]);
        in.Host().TitleChanged(doc);
    }
    in.Ok(call);
}

void CloseDocument(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    // Closing frees the channels a running computation's worker is writing.
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return;
    // The command windows stand for dialogs, which close before their document does: a window
    // left on the stack would later act on the freed document.
    in.Server().CloseCommandWindows();
    // The application may still keep it (a question at the close, such as whether to keep the
    // notes' changes, answered Cancel): the controller must not take it for closed.
    const std::string title = doc->GetTitle();
    if (!in.Host().CloseDocument(doc)) {
        in.Error(call, "could not close (" + title + ")");
        return;
    }
    in.Ok(call);
}

void RenameChannel(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    // Not while long work holds the document (it may be reading its channels in), nor while its
    // computation runs.
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return;
    // A rename that would not happen says why instead of passing for done.
    if (const std::string refused = doc->CheckRenameChannel(call.words[2], call.words[3]); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    doc->RenameChannel(call.words[2], call.words[3]);
    in.Ok(call);
}

}  // namespace

void InstallLinkCommands(RemoteInterpreter& in) {
    in.SetHandler("disconnect", [](RemoteInterpreter& i, const RemoteCall& c) { StopLink(i, c, true); });
    in.SetHandler("stop", [](RemoteInterpreter& i, const RemoteCall& c) { StopLink(i, c, false); });
    in.SetHandler("save", Save);
    in.SetHandler("windowpos", WindowPos);
    in.SetHandler("initial", Initial);
    in.SetHandler("settitle", SetTitle);
    in.SetHandler("newdocument", NewDocument);
    in.SetHandler("closedocument", CloseDocument);
    in.SetHandler("renamechannel", RenameChannel);
}

}  // namespace zun
