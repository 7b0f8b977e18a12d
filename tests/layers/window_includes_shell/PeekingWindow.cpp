// A window that reaches into the shell: the layer check must refuse it.
#include "widgets/Theme.h"
#include "shell/QuellmarinApp.h"
