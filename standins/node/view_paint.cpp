// Painting: after script changes the page, the view draws it into its own
// DC once the changes have settled and raises paint-updated with the
// rectangle that actually changed.
#include "standins/node/page.h"
#include "standins/node/page_painter.h"
#include "standins/node/reentry.h"
#include "standins/node/view.h"

namespace node_standin {
void View::Resize(int width, int height) {
  if (width == surface_.width() && height == surface_.height()) return;
  if (!surface_.Resize(width, height)) return;
  size_changed_ = true;
  SchedulePaint();
}

void View::SchedulePaint() {
  if (paint_pending_ || destroyed_) return;
  paint_pending_ = true;
  ::SetTimer(window_.handle(), kPaintTimer, kPaintDelayMs, nullptr);
}

void View::RepaintIfNeeded() {
  if (!paint_pending_ || destroyed_ || !window_.OnOwnerThread()) return;
  paint_pending_ = false;
  ::KillTimer(window_.handle(), kPaintTimer);
  RepaintNow();
}

void View::RepaintNow() {
  Page* page = page_.get();
  std::u16string snapshot = page != nullptr ? page->Snapshot() : u"";
  if (snapshot == painted_snapshot_ && !size_changed_) return;
  painted_snapshot_ = snapshot;
  size_changed_ = false;
  PaintPicture(surface_.dc(), surface_.width(), surface_.height(), ParsePicture(snapshot));
  RECT changed = surface_.Commit();
  if (::IsRectEmpty(&changed) || paint_callback_ == nullptr || destroyed_) return;
  Reentry reentry;
  paint_callback_(this, paint_param_, surface_.dc(), changed.left, changed.top,
                  changed.right - changed.left, changed.bottom - changed.top);
}

}  // namespace node_standin
