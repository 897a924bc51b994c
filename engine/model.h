// Polygon models (vertices, polygons with texture coordinates, bones kept at the
// front of the polygon list, per-vertex bone bindings) and material records.
//
// Editing functions expect vertex indices that name existing vertices; the POD
// reader checks loaded models before they reach them.
#pragma once
#include <cstdint>

struct vull_matrix;

// A polygon. Its arrays are the inline ones while the capacity is at most 4.
struct cpoly {
    int32_t inline_index[4]; // inline vertex indices
    float inline_uv[8];      // inline (u, v) pairs
    int32_t *index;          // vertex indices: inline_index, or an owned array of capacity entries
    float *uv;               // (u, v) pairs: inline_uv, or an owned array of capacity pairs
    int16_t count;           // vertices in use
    int16_t capacity;        // entries of the arrays; 4 while inline
    float normal[3];         // face normal, (0, 0, 1) when created
    uint16_t attr[2];        // attribute words, 0 when created; kept by POD files and copies
};

constexpr int CPOLY_MAX_VERTICES = 32766;   // largest even count a 16-bit capacity holds
constexpr int CMODEL_MAX_BONES = 32767;     // bone indices fit the order list's 15 low bits
constexpr int32_t CMODEL_UNPLACED = 0x8000; // order-list flag: bone not placed yet

// Binding of one vertex to two bones.
struct cmodel_bone_vertex {
    uint16_t bone_a; // first bone
    uint16_t bone_b; // second bone
    float weight;    // weight of bone A (1.0 when created)
    float pos_a[3];  // the vertex in bone A's frame (rest pose)
    float pos_b[3];  // the vertex in bone B's frame
};

struct cmodel {
    float *vertices;                   // x, y, z per vertex slot
    int32_t num_vertices;              // vertices in use
    int32_t max_vertices;              // vertex slots allocated
    cpoly *polygons;                   // polygon records; bones first
    int32_t num_polygons;              // polygons in use
    int32_t max_polygons;              // polygon records allocated
    int32_t num_bones;                 // polygons 0 .. num_bones-1 are bones (2 vertices)
    cmodel_bone_vertex *bone_vertices; // one per vertex slot while there are bones, else null
    float *vertex_normals;             // x, y, z per vertex (cmodel_calculate_vertex_normals)
    int32_t *bone_parent;              // parent bone per bone, -1 for a root
    int32_t *bone_order;               // bones parents first; unplaced entries keep CMODEL_UNPLACED
    int32_t bone_data_size;            // 16 x B + 16: bytes of a pose
    vull_matrix *bone_matrices;        // one matrix per bone (cmodel_calculate_matrices)
    int32_t bone_vertex_slots;         // records allocated in bone_vertices
    int32_t num_ordered;  // bones placed in bone_order (bones in a parent cycle are not)
    int32_t num_matrices; // matrices allocated in bone_matrices
};

// 96 bytes, stored byte for byte by POD files.
struct vull_material {
    uint8_t bytes[96]; // zero but for the colours 0xFF336699 at 32 and 0xFF606060 at 36
};
static_assert(sizeof(vull_material) == 96, "material record is 96 bytes");
static_assert(sizeof(cmodel_bone_vertex) == 32, "bone-vertex record layout");

cmodel *vull_create_model();
void vull_destroy_model(cmodel *model);
vull_material *vull_create_material();
void vull_destroy_material(vull_material *material);

void cmodel_max_vertices(cmodel *model, int n);
void cmodel_max_polygons(cmodel *model, int n);
// At least n bone-vertex records (new ones bone 0 with weight 1.0); 0, or -1 when memory runs out.
int cmodel_reserve_bone_vertices(cmodel *model, int n);
void cpoly_set_num_vertices(cpoly *poly, int n); // n < 0 counts as 0
cpoly *vull_create_poly(int n);
void vull_destroy_cpoly(cpoly *poly);
void cpoly_copy(cpoly *dst, const cpoly *src, int share);

int cmodel_new_vertex(cmodel *model, float x, float y, float z);
int cmodel_new_polygon(cmodel *model, int n); // n == 2 adds a bone; -1 when it cannot
int cmodel_new_quad(cmodel *model, int a, int b, int c, int d);
int cmodel_new_triangle(cmodel *model, int a, int b, int c);
void cmodel_delete_vertex(cmodel *model, int v);
void cmodel_delete_polygon(cmodel *model, int i);
void cmodel_clear(cmodel *model);

void cmodel_calculate_normals(cmodel *model);
void cmodel_calculate_vertex_normals(cmodel *model);
void cmodel_calculate_bone_parents(cmodel *model);
void cmodel_decorate(cmodel *model);
int cmodel_get_bone_dat_index(cmodel *model, int bone);
