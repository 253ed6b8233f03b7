#include "script/remotecommands.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"

namespace zun {

std::vector<std::string> SplitArgumentList(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
    return SplitArgumentList(text, '@');
}

// The converters start from 0 so that a word that is no number never leaves a value undefined.
bool ParseBoolArg(const std::string& word) {
    unsigned v = 0;
    std::sscanf(word.c_str(), "%u", &v);
    return v == 1;
}

int ParseIntArg(const std::string& word) {
    int v = 0;
    std::sscanf(word.c_str(), "%d", &v);
    return v;
}

unsigned ParseUIntArg(const std::string& word) {
    unsigned v = 0;
    std::sscanf(word.c_str(), "%u", &v);
    return v;
}

float ParseFloatArg(const std::string& word) {
    float v = 0;
    std::sscanf(word.c_str(), "%f", &v);
    return v;
}

double ParseDoubleArg(const std::string& word) {
    double v = 0;
    std::sscanf(word.c_str(), "%lf", &v);
    return v;
}

std::string CommandErrorText(const std::string& command, const std::string& detail) {
    return "Command '" + command + "' - " + detail;
}

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Every command word with its exact word count.
std::vector<RemoteCommandEntry> CommandTable() {
    const std::pair<const char*, int> words[] = {
        {"disconnect", -1},
        {"stop", -1},
        {"save", 2},
        {"windowpos", 5},
        {"initial", 1},
        {"settitle", 2},
        {"newdocument", 2},
        {"closedocument", 2},
        {"renamechannel", 4},
        {"setupgrids", 11},
        {"setupgrid", 5},
        {"insertchannels", 3},
        {"insertchannel", 5},
        {"setupcompchannel", 5},
        {"setupctchannel", 4},
        {"importdata", 19},
        {"buildboundary", 32},
        {"displayprop-open", 3},
        {"displayprop-close", 2},
        {"displayprop-chan-display", 6},
        {"displayprop-open-setdisplay", 4},
        {"displayprop-chan-stats", 6},
        {"displayprop-open-setstatistics", 4},
        {"displayprop-chan-boundary", 6},
        {"displayprop-open-setboundary", 4},
        {"displayprop-chan-colourdata", 6},
        {"displayprop-open-colourdata-open", 2},
        {"displayprop-open-colourdata-close", 2},
        {"displayprop-open-colourdata-open-settype", 3},
        {"displayprop-open-colourdata-open-setcolor", 3},
        {"setup-map-mapdata", 14},
        {"setup-map-mapdata-action", 1},
        {"setupcomp", 9},
        {"setupcomp-open", 2},
        {"setupcomp-close", 2},
        {"setupcomp-open-computation", 3},
        {"setupcomp-open-property", 3},
        {"setupcomp-setup-plugin", 5},
        {"setupcomp-setup-dlss", 9},
        {"setupcomp-open-dlss-open", 3},
        {"setupcomp-open-dlss-close", 2},
        {"setupcomp-setup-dnlo", 14},
        {"setupcomp-open-dnlo-open", 3},
        {"setupcomp-open-dnlo-close", 2},
        {"setupcomp-setup-dclo", 13},
        {"setupcomp-open-dclo-open", 3},
        {"setupcomp-open-dclo-close", 2},
        {"setupcomp-setup-lca", 11},
        {"startcomp", 2},
        {"output-web3d", 11},
        {"output-histogram", 8},
        {"output-animation", 10},
        {"output-img2d", 7},
    };
    std::vector<RemoteCommandEntry> table;
    for (const auto& [word, count] : words) table.push_back({word, count, {}});
    return table;
}

}  // namespace

RemoteInterpreter::RemoteInterpreter(RemoteHost& host, RemoteControlServer& server)
    : host_(host), server_(server), commands_(CommandTable()) {}

bool RemoteInterpreter::SetHandler(const std::string& word, RemoteCommandHandler handler) {
    for (RemoteCommandEntry& e : commands_)
        if (word == e.word) {
            e.handler = std::move(handler);
            return true;
        }
    return false;
}

void RemoteInterpreter::RunHandedRequest(const std::string& request) {
    // Also when the request is no request or its command throws what Execute lets pass: a
    // request never ended would hold every later one back.
    struct Ended {
        RemoteControlServer& server;
        ~Ended() { server.EndRequest(); }
    } ended{server_};
    std::string tag, payload;
    if (RemoteControlServer::SplitRequestText(request, tag, payload)) Execute(tag, payload);
}

bool RemoteInterpreter::HandleFrameMessage(const FrameMessage& msg) {
    if (msg.kind != FrameMsg::RemoteRequest) return false;
    RunHandedRequest(msg.text);
    return true;
}

void RemoteInterpreter::Execute(const std::string& tag, const std::string& payload) {
    const std::vector<std::string> words = SplitCommandLine(payload);
    const RemoteCall call{tag, words};
    const RemoteCommandEntry* entry = nullptr;
    for (const RemoteCommandEntry& e : commands_)
        if (words[0] == e.word) {
            entry = &e;
            break;
        }
    if (!entry) {
        server_.SendReply(tag, words[0]);
        return;
    }
    if (entry->wordCount >= 0 && !CheckArgumentCount(call, entry->wordCount)) return;
    if (!entry->handler) {
        Error(call, "not implemented");
        return;
    }
    // A command that runs out of memory or meets any other failure answers with it instead of
    // taking the program down from the event loop.
    try {
        entry->handler(*this, call);
    } catch (const std::bad_alloc&) {
        Error(call, "bad allocation");
    } catch (const std::exception& e) {
        Error(call, e.what());
    }
    // An operator watching the screen sees what the command set.
    if (RemoteCommandWindow* top = server_.TopCommandWindow()) top->Refresh();
    if (RemoteCommandWindow* sub = server_.SubWindow()) sub->Refresh();
}

CZunDoc* RemoteInterpreter::FindDocumentByName(const std::string& name) {
    if (name.empty()) return host_.ActiveDocument();
    for (CZunDoc* doc : host_.Documents())
        if (doc && EqualNoCase(doc->GetTitle(), name)) return doc;
    return nullptr;
}

CZunDoc* RemoteInterpreter::CheckCommandDocument(const RemoteCall& call, const std::string& name) {
    CZunDoc* doc = FindDocumentByName(name);
    if (!doc) Error(call, "no document (" + name + ") found");
    return doc;
}

bool RemoteInterpreter::CheckArgumentCount(const RemoteCall& call, int expected) {
    const int actual = static_cast<int>(call.words.size());
    if (actual == expected) return true;
    Error(call, "invalid argument count (" + std::to_string(actual) + ")");
    return false;
}

bool RemoteInterpreter::CheckDocumentIdle(const RemoteCall& call, CZunDoc& doc) {
    const int state = doc.GetModel().GetState();
    if (state != kRunning && state != kPausing && state != kStopping) return CheckNoLongWork(call, doc);
    Error(call, "computation running");
    return false;
}

bool RemoteInterpreter::CheckNoLongWork(const RemoteCall& call, CZunDoc& doc) {
    const std::string work = doc.RunningWork();
    if (work.empty()) return true;
    Error(call, work + " running");
    return false;
}

bool RemoteInterpreter::CheckCommandWindowRoom(const RemoteCall& call) {
    if (!server_.CommandWindowsFull()) return true;
    Error(call, "too many open windows (" + std::to_string(RemoteControlServer::kMaxCommandWindows) +
                    "); close one first");
    return false;
}

std::unique_ptr<RemoteDocWindow> RemoteInterpreter::CheckTreeView(const RemoteCall& call, CZunDoc& doc) {
    std::unique_ptr<RemoteDocWindow> window = host_.DocumentWindow(doc);
    if (!window || !window->Tree()) {
        Error(call, "No tree view found");
        return nullptr;
    }
    return window;
}

// Under the request's own tag: a request handled while this one ran may have replied EXTEND since.
void RemoteInterpreter::FinalOk(const RemoteCall& call, const std::string& text) {
    server_.ReplyFinal(call.tag, text.empty() ? "OK" : "OK:" + text);
}

void RemoteInterpreter::FinalError(const RemoteCall& call, const std::string& detail) {
    server_.ReplyFinal(call.tag, "ERROR:" + CommandErrorText(call.command(), detail));
}

void RemoteHost::StartComputation(CZunDoc* doc) {
    doc->HandleFrameMessage(FrameMessage{FrameMsg::StartStopComputation, doc, 0});
}

void InstallRemoteCommands(RemoteInterpreter& in) {
    InstallLinkCommands(in);
    InstallSampleCommands(in);
    InstallBoundaryCommand(in);
    InstallDisplayCommands(in);
    InstallMapCommands(in);
    InstallOutputCommands(in);
    InstallSetupCommands(in);
}

void RemoteInterpreter::Ok(const RemoteCall& call, const std::string& text) {
    server_.ReplyOk(call.tag, text);
}

void RemoteInterpreter::Error(const RemoteCall& call, const std::string& detail) {
    server_.ReplyError(call.tag, CommandErrorText(call.command(), detail));
}

}  // namespace zun
