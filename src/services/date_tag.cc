#include "services/date_tag.h"
