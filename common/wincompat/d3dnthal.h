// winddi.h includes this Direct3D header; the driver needs nothing from it.
#pragma once
