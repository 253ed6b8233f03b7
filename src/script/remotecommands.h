#pragma once
// The remote command interpreter: runs one request of the controller on the UI thread. It splits
// the payload into words at "@", finds the command by its first word (exactly, case-sensitively),
// checks the word count, and runs the command, which answers through the server with exactly
// one final reply. An unknown word is echoed back as the status text.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zun {

class CZunDoc;
class RemoteControlServer;
class RemoteHost;
class RemoteDocWindow;
struct FrameMessage;

// Splitting and the argument converters. A converter reads the word's leading number as the C
// formatted input does; a word that does not begin with a number gives 0.
std::vector<std::string> SplitArgumentList(const std::string& text, char separator);
std::vector<std::string> SplitCommandLine(const std::string& text);
bool ParseBoolArg(const std::string& word);  // true only for the number 1
int ParseIntArg(const std::string& word);
unsigned ParseUIntArg(const std::string& word);
float ParseFloatArg(const std::string& word);
double ParseDoubleArg(const std::string& word);

// "Command '<command>' - <detail>"
std::string CommandErrorText(const std::string& command, const std::string& detail);

// The kinds of the windows remote commands keep open (RemoteCommandWindow::Kind): a command
// drives only a window of the kind it expects.
enum RemoteWindowKind : int {
    kRemoteDisplayPropsWindow = 1,
    kRemoteDataColourWindow = 2,
    kRemoteMapWindow = 3,
    kRemoteSetupWindow = 4,
    kRemoteSheetWindow = 5,
};

// One request as a command sees it.
struct RemoteCall {
    const std::string& tag;
    const std::vector<std::string>& words;  // words[0] is the command word
    const std::string& command() const { return words[0]; }
};

class RemoteInterpreter;
using RemoteCommandHandler = std::function<void(RemoteInterpreter&, const RemoteCall&)>;

struct RemoteCommandEntry {
    const char* word;
    int wordCount;                 // exact count including the command word; -1 = not checked
    RemoteCommandHandler handler;  // empty: the command is not available yet
};

class RemoteInterpreter {
public:
    RemoteInterpreter(RemoteHost& host, RemoteControlServer& server);

    // Runs one request. Every exception of a command ends in an error reply.
    void Execute(const std::string& tag, const std::string& payload);
    // Runs a request the server handed over (its text: tag, colon, payload), then tells the server
    // it has ended, so that the next one follows only now.
    void RunHandedRequest(const std::string& request);
    // Runs the request carried by a FrameMsg::RemoteRequest message; false for other messages.
    bool HandleFrameMessage(const FrameMessage& msg);

    // The command table (all command words, in the order they are matched).
    const std::vector<RemoteCommandEntry>& Commands() const { return commands_; }
    // Installs the handler of a command word of the table; false when the word is not in it.
    bool SetHandler(const std::string& word, RemoteCommandHandler handler);

    // ---- what the commands share
    RemoteHost& Host() { return host_; }
    RemoteControlServer& Server() { return server_; }
    // Empty name: the active document. Otherwise the first document whose title equals the name
    // ignoring case.
    CZunDoc* FindDocumentByName(const std::string& name);
    // FindDocumentByName; replies the no-document error when there is none.
    CZunDoc* CheckCommandDocument(const RemoteCall& call, const std::string& name);
    bool CheckArgumentCount(const RemoteCall& call, int expected);
    // Replies the running-computation error when the document's computation may still touch
    // it, and the running-work error while long work on it (CZunDoc::LongWork) lets this request
    // in; true when the command may go on.
    bool CheckDocumentIdle(const RemoteCall& call, CZunDoc& doc);
    // Only the running-work error: for the outputs, which read a computing document.
    bool CheckNoLongWork(const RemoteCall& call, CZunDoc& doc);
    // Replies the too-many-windows error when the stack of command windows is full; true when
    // the command may open one.
    bool CheckCommandWindowRoom(const RemoteCall& call);
    // The window of the document; replies "No tree view found" when it has none.
    std::unique_ptr<RemoteDocWindow> CheckTreeView(const RemoteCall& call, CZunDoc& doc);
    // The final reply of the request that replied EXTEND.
    void FinalOk(const RemoteCall& call, const std::string& text = {});
    void FinalError(const RemoteCall& call, const std::string& detail);
    void Ok(const RemoteCall& call, const std::string& text = {});
    void Error(const RemoteCall& call, const std::string& detail);

private:
    RemoteHost& host_;
    RemoteControlServer& server_;
    std::vector<RemoteCommandEntry> commands_;
};

// The commands of the link, the documents and the windows ("disconnect", "stop", "save",
// "windowpos", "initial", "settitle", "newdocument", "closedocument", "renamechannel").
void InstallLinkCommands(RemoteInterpreter& interpreter);
// The commands that build a sample: grids, channels, compounds, beam energies, image import.
void InstallSampleCommands(RemoteInterpreter& interpreter);
// "buildboundary": the boundary definition from the words, built by the boundary wizard.
void InstallBoundaryCommand(RemoteInterpreter& interpreter);
// The commands of the tree's display state and the Display Properties and Data Colour dialogs.
void InstallDisplayCommands(RemoteInterpreter& interpreter);
// The channel-value mapping tool.
void InstallMapCommands(RemoteInterpreter& interpreter);
// The start of a computation and the output files.
void InstallOutputCommands(RemoteInterpreter& interpreter);
// The job switches and the method parameters of the computation set-up.
void InstallSetupCommands(RemoteInterpreter& interpreter);
// Every command built so far.
void InstallRemoteCommands(RemoteInterpreter& interpreter);

// The files of the folder that "importdata" takes: names not starting with "." whose text after
// the last "." is the extension, sorted by name ignoring case, numbered from 0, those with
// first <= number < end.
std::vector<std::string> ListImportFiles(const std::string& folder, const std::string& extension,
                                         double first, double end);

}  // namespace zun
