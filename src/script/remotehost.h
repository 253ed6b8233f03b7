#pragma once
// What the remote commands need of the application: its open documents, the document commands
// of the menus and the main window. The GUI implements it over its windows; tests implement it
// over plain documents.

#include <memory>
#include <string>
#include <vector>

#include "script/remotewindow.h"

namespace zun {

class CZunDoc;

class RemoteHost {
public:
    virtual ~RemoteHost() = default;

    // Every open document, in the order the program lists them.
    virtual std::vector<CZunDoc*> Documents() = 0;
    // The document of the active document window; null when none.
    virtual CZunDoc* ActiveDocument() = 0;
    // File New: a new empty document that becomes the active one; null on failure.
    virtual CZunDoc* NewDocument() = 0;
    // Closes the document as its window's close would; false when it stays open.
    virtual bool CloseDocument(CZunDoc* doc) = 0;
    // Places and shows the main window (in the controller's window coordinates when embedded).
    virtual void SetMainWindowPos(unsigned x, unsigned y, unsigned width, unsigned height) = 0;
    // True when the active document window shows its tree.
    virtual bool HasActiveTreeView() = 0;
    // The first volume scalar property of the active document window's 3-D view, refreshed.
    virtual void SetVolumeScalarProperty(float value) = 0;
    // Plug-ins off and no plug-in folders in the current preferences (the file is not written).
    virtual void ResetPluginPreferences() = 0;
    // The plug-in switch and folders of the current preferences; setting them reaches the open
    // documents (the file is not written).
    virtual void GetPluginPreferences(bool& enabled, std::vector<std::string>& folders) {
        enabled = false;
        folders.clear();
    }
    virtual void SetPluginPreferences(bool enabled, const std::vector<std::string>& folders) {
        (void)enabled;
        (void)folders;
    }
    // Stops the document's computation and returns once its worker has left.
    virtual void StopComputation(CZunDoc* doc) = 0;
    // The document's title changed (window captions follow it).
    virtual void TitleChanged(CZunDoc* doc) { (void)doc; }
    // The window of the document (the named document's own, not necessarily the active one);
    // null when it has none.
    virtual std::unique_ptr<RemoteDocWindow> DocumentWindow(CZunDoc& doc) {
        (void)doc;
        return nullptr;
    }
    // The main window's start of the document's computation; returns once it started or was
    // refused.
    virtual void StartComputation(CZunDoc* doc);
    // The pauses the link commands take so that a controller sees its replies apart.
    virtual void Wait(int milliseconds) = 0;
};

}  // namespace zun
