// The test programs are not the viewer: the import worker they start is the
// viewer built beside them.
#include "model/model_import.h"

#ifdef DUPLEXA_VIEWER
namespace {
const bool worker_set = (import_worker_program = DUPLEXA_VIEWER, true);
}
#endif
