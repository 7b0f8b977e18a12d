// An editor of the Qt-free core that includes Qt: the layer check must refuse it.
#include "edit/EditContext.h"
#include <QString>
