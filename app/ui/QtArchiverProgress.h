// The archiver port for the window: a decorator of another ArchiverLoader whose libraries carry out Run on
// a thread of their own while the calling (window) thread shows a modal "packing" window (kPackingTitle and
// kPackingText of disposal/Compression.h) and keeps handling events, so the main window repaints during a
// long archive run. The result, the output text and every other call pass through unchanged; Run still
// returns only when the archiver has finished.
//
// The packing window has no Cancel (the archiver cannot be stopped half-way without losing its promise that
// no source is removed before the archive is complete); Escape and the close box do nothing. It is
// application-modal, so no other command can start while the archiver runs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/ArchiverLibrary.h"

namespace vask {

class QtArchiverProgress : public ArchiverLoader {
  public:
    // inner must outlive this object; the packing window is shown over parent (may be null).
    QtArchiverProgress(ArchiverLoader& inner, QWidget* parent);

    std::unique_ptr<ArchiverLibrary> Load() override;

    // The packing window while a Run is going on, else null (tests).
    QWidget* PackingWindow() const { return window_.data(); }

  private:
    class Library;

    ArchiverLoader& inner_;
    QPointer<QWidget> parent_;
    QPointer<QWidget> window_;
};

}  // namespace vask
