// The companion services in one include.
#pragma once

#include "companion/cipher.h"
#include "companion/gbk.h"
#include "companion/geodesy.h"
#include "companion/host_window.h"
#include "companion/plane.h"
#include "companion/random.h"
#include "companion/settings.h"
#include "companion/ui.h"
