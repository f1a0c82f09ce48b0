// What a scene's materials look like, read in the import worker right after
// the importer, before anything of the scene is stripped: each material's
// base colour and opacity, and its base-colour texture decoded, from the
// scene itself (a .glb's images, data URIs) or from a file beside the model.
#pragma once

#include <string>

#include "model/scene_mesh.h"
#include "model/texture_image.h"

struct aiScene;

// Reads the looks of scene's materials. model_path names the model file:
// texture files are found relative to its folder. A texture that cannot be
// read (missing, unreadable, beyond the limits) is a 0 x 0 texture; the
// model is never refused for it. Textures several materials share are read
// once.
SceneLook look_of_scene(const aiScene& scene, const std::string& model_path, const TextureLimits& limits);

// The file a material's texture name means: relative to the model's folder
// (an absolute name as it is), backslashes taken as separators, and on a
// file system that tells case apart, each part of the path matched without
// regard to case when the exact one is not there. A name that is found
// nowhere is looked for as the bare file name in the model's folder. Empty
// when there is no such file.
std::string texture_file_path(const std::string& model_path, const std::string& name);
