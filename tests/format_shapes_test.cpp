#include "format_cases.h"
