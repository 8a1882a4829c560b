#include "ThumbnailProvider.h"
