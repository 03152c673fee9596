// Programs that link the update engine without the window framework (wan-update): there is no
// UI thread whose cross-thread calls a joining thread could hold up, so joining workers needs
// no scope.
#include "WorkerJoin.h"

namespace ui {

WorkerJoin::WorkerJoin() : m_active(false) {}

WorkerJoin::~WorkerJoin() {}

}  // namespace ui
