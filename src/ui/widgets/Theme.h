// The program's dark look, as one style sheet for the whole application.
#pragma once

#include <QString>

namespace quellmarin::ui {
QString StyleSheet();
}
