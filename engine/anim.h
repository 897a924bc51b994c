// Keyframed animations of actors, and the bone poses and skinning of models.
#pragma once
#include <cstdint>

struct cmodel;

// Keyframes: three parallel blocks that grow by exact amounts and never shrink.
struct canim_channel {
    int32_t num_states; // keyframes in use
    int32_t max_states; // entries allocated in each block
    int32_t state_size; // bytes of one state
    uint8_t *states;    // num_states x state_size bytes
    int32_t *times;     // one time per state, increasing
    int32_t *modes;     // 1 holds the state until the next one; anything else interpolates
};

constexpr int CANIM_VECTOR_STATE = 12; // three floats
constexpr int CANIM_EXTRA_STATE = 16;  // four floats
constexpr int CANIM_EVENT_STATE = 24;  // code, value, a word, three floats
constexpr int CANIM_NAME_LEN = 32;

struct cactor {
    char name[CANIM_NAME_LEN];  // "actor%d" when created
    char name2[CANIM_NAME_LEN]; // second name, empty when created
    int32_t word[4];            // -1 when created; word[1..3] are the link words of POD files
    canim_channel *vec[3];      // the three vector channels
    canim_channel **extra;      // num_extra channels of 16-byte states (null when none)
    canim_channel *events;      // event channel
    int32_t word_a;             // 0 when created
    int32_t num_extra;          // extra-channel count
    int32_t word_b;             // 0 when created
};

struct vull_anim {
    int32_t num_actors; // actors in use
    cactor *actors;     // the actor array, exactly num_actors long
    int32_t header[2];  // two header words, 0 when created
};

vull_anim *vull_create_anim();
void vull_destroy_anim(vull_anim *anim);
void vull_clear_anim(vull_anim *anim);
int canim_new_actor(vull_anim *anim);         // index, or -1 when memory runs out
int canim_new_actors(vull_anim *anim, int n); // n actors in one step: the first's index, or -1
void canim_delete_actor(vull_anim *anim, int index);

canim_channel *vull_create_anim_channel(int state_size);
void vull_destroy_anim_channel(canim_channel *ch);
int canim_channel_set_num_states(canim_channel *ch, int n); // 0, or -1 when it cannot grow
int canim_channel_insert_state(canim_channel *ch, int t);   // index, or -1 when it cannot grow
void canim_channel_clear(canim_channel *ch);
void canim_channel_delete(canim_channel *ch, int index);
int canim_channel_index_for_t(const canim_channel *ch, int t);
int canim_channel_index_for_command(const canim_channel *ch, int t, int code);
void canim_channel_evaluate(const canim_channel *ch, int t, float *out);
void canim_channel_evaluate_nonlinear(const canim_channel *ch, int t, float *out);

void cactor_evaluate(const cactor *actor, int t, float *a, float *b, float *c);
void cactor_evaluate_bones(const cactor *actor, int t, float *out);

// Bone poses of models: B entries (yaw, pitch, roll, length) then the root entry
// (x, y, z, root bone index as an int32 in the fourth slot).
void cmodel_calculate_bone_vertices(cmodel *model, float *pose_out);
void cmodel_calculate_matrices(cmodel *model, const float *pose);
void cmodel_evaluate_bone_vertices(const cmodel *model, float *out);
