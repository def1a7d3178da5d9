// Representative shader scripts for the whole-compile regression suite and the compile benchmark:
// functions, macros, loops, every built-in family, and what each must give on the headless device.
#pragma once

#include <cstdint>

enum RegressionOutcome {
    REGRESSION_EFFECT,         // compiles and the device makes its effect
    REGRESSION_DEVICE_REFUSES, // compiles, but the device refuses the text (loops, flow, clamp, HLSL)
    REGRESSION_NO_FORM,        // a built-in without an assembler form: the compile fails
};

struct RegressionScript {
    const char *name;
    const char *script;
    uint32_t ps20;  // the device offers pixel shader 2.0
    RegressionOutcome outcome;
};

const RegressionScript kRegressionScripts[] = {
    {"smallest", R"([VERTEXFORMAT] XYZ NORMAL TEX0
[DEFINES] CONST one=1.0,1.0,1.0,1.0; MATRIX WORLD; MATRIX VIEWPROJ;
[TECHNIQUE] All Cards
[PASS0]
[POSITION] tmp=iPos*4WORLD; oPos=tmp*4VIEWPROJ;
[DIFFUSE] oDiffuse=one;
[RENDER_STATE] BLEND TRUE SRCBLEND SRCALPHA DSTBLEND INVSRCALPHA
[END]
)",
     0, REGRESSION_EFFECT},
    {"logo", R"(# the intro's logo: a textured, lit quad
[VERTEXFORMAT] XYZ NORMAL TEX0
[DEFINES] MATRIX WORLD; MATRIX VIEWPROJ; VECTOR Light; VECTOR color; TEXTURE Decal;
[TECHNIQUE] All cards
[PASS0]
[POSITION] p=iPos*4WORLD; oPos=p*4VIEWPROJ;
[DIFFUSE] n=iNorm*3WORLD; l=max(n|Light,SCALAR_ZERO); oDiffuse=color*l; oDiffuse.w=color.w;
[MAPPING0] oTexture0=iTexture0;
[RENDER_STATE] TEXTURE[0] Decal COLOROP[0] MODULATE COLORARG1[0] TEXTURE COLORARG2[0] DIFFUSE
  MIN[0] LINEAR MAG[0] LINEAR CULL NONE BLEND TRUE SRCBLEND SRCALPHA DSTBLEND ONE
)",
     0, REGRESSION_EFFECT},
    {"light volume", R"([VERTEXFORMAT] XYZ
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR longueur; VECTOR Light;
[TECHNIQUE] All cards
[PASS0]
[POSITION] d=iPos-Light; d.w=SCALAR_ZERO; e=normalize(d)*longueur+iPos; oPos=e*4WORLDVIEWPROJ;
[RENDER_STATE] RENDERTARGET STENCIL STENCIL INCREMENT CULL CCW
[PASS1]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
[RENDER_STATE] RENDERTARGET RENDER STENCIL NOT_ZERO CULL CW
)",
     0, REGRESSION_EFFECT},
    {"skinned", R"([VERTEXFORMAT] XYZ BLEND NORMAL TEX0
[DEFINES] MATRIX VIEWPROJ; MATRIX PALETTE[4]; CONST four=4,4,4,4;
[TECHNIQUE] All
[PASS0]
[POSITION] i=iWIndices*four; p=iPos*4PALETTE[i.x]; q=iPos*4PALETTE[i.y];
  w=p*iWeights.x+q*iWeights.y; oPos=w*4VIEWPROJ;
[MAPPING0] oTexture0=iTexture0;
)",
     0, REGRESSION_EFFECT},
    {"bump", R"([VERTEXFORMAT] XYZ NORMAL TEX0 TEX1
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR LightDir; CONST half=0.5,0.5,0.5,0.5; PSCONST tint=1,0.9,0.8,1;
  TEXTURE Base; TEXTURE Bump;
[TECHNIQUE] SHADERS
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
[DIFFUSE] oDiffuse=LightDir*half+half;
[MAPPING0] oTexture0=iTexture0;
[MAPPING1] oTexture1=iTexture1;
[SHADER] r0=sample(0,Tex0); r1=sample(1,Tex1); r4=coord(Tex0); r2=dotbx2(r1,Diffuse);
  r3=mul_x2(r0,r2); r5=cmp(r4,r3,r0); r0=mix(r5,r3,tint);
[RENDER_STATE] TEXTURE[0] Base TEXTURE[1] Bump
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
)",
     0, REGRESSION_EFFECT},
    {"sample after arithmetic", R"([VERTEXFORMAT] XYZ TEX0 TEX1
[DEFINES] MATRIX WORLDVIEWPROJ; TEXTURE Base; TEXTURE Detail;
[TECHNIQUE] SHADERS
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
[MAPPING0] oTexture0=iTexture0;
[MAPPING1] oTexture1=iTexture1;
[SHADER] r0=sample(0,Tex0); r1=mul_x2(r0,Diffuse); r2=sample(1,Tex1); r0=mul_x2(r1,r2);
[RENDER_STATE] TEXTURE[0] Base TEXTURE[1] Detail
)",
     0, REGRESSION_DEVICE_REFUSES},
    {"waves", R"(# trigonometry on the vertex side
[VERTEXFORMAT] XYZ TEX0
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR time;
[TECHNIQUE] All
[PASS0]
[POSITION] p=iPos; h.x=sin(iPos.x+time.x); h.y=cos(iPos.z*time.y); p.y=h.x*h.y; oPos=p*4WORLDVIEWPROJ;
[MAPPING0] t.x=atan(iTexture0.x); t.y=tan(iTexture0.y); t.z=asin(iTexture0.x); t.w=acos(iTexture0.y);
  oTexture0=t;
)",
     0, REGRESSION_EFFECT},
    {"arithmetic", R"([VERTEXFORMAT] XYZ NORMAL
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR a; VECTOR b;
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
[DIFFUSE] x=log2(a.x)+exp2(b.x); y=abs(a)+floor(b); z=rsq(a.y)*norm(b); oDiffuse=x*y+z;
[SPECULAR] n=normalize(iNorm); u=inv(a)*lit(b); v=frac(a)+rcp(b.w); oSpecular=u+v*tgt(a,n);
[MAPPING0] d=dot(a,b)+dot4(a,b)+dot_sat(a,iNorm); oTexture0=d;
)",
     0, REGRESSION_EFFECT},
    {"morph", R"([VERTEXFORMAT] XYZ MORPH
[DEFINES] MATRIX WORLDVIEWPROJ; MATRIX WORLD; VECTOR blend; VECTOR plane0;
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=interpolate(iPos,iPos2,blend,WORLDVIEWPROJ);
[DIFFUSE] n=normal_interpolate(iNorm,iNorm2,blend,WORLD); m=normal_interpolation(iNorm,iNorm2,blend,1-blend,WORLD);
  s=sge(n,m); l=slt(n,m); e=equation(n,plane0); f=plane(iPos,plane0); oDiffuse=max(s,l)+min(e,f);
[MAPPING0] oTexture0=interpolation(iPos,iPos2,blend,1-blend,WORLD);
)",
     0, REGRESSION_EFFECT},
    {"macros", R"([VERTEXFORMAT] XYZ NORMAL
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR Light; VECTOR Ambient;
[MACROS]
SHADE(n, l, k)
{
  d = n|l;
  if (d.x < k.x) { d = k; }
  d
}
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
[DIFFUSE] oDiffuse=SHADE(iNorm, Light, Ambient); oDiffuse.w=SCALAR_ONE;
)",
     0, REGRESSION_EFFECT},
    {"functions", R"([VERTEXFORMAT] XYZ NORMAL TEX0
[DEFINES] MATRIX WVP; VECTOR LightDir; PSCONST tint=1,0.5,0.25,1; TEXTURE Decal;
[TECHNIQUE] MODEL2X
[PASS0]
[FUNCTIONS]
float3 lambert(vector3 n, vector3 l) { d = n|l; d }
[POSITION] oPos=iPos*4WVP;
[DIFFUSE] oDiffuse=lambert(iNorm,LightDir); oDiffuse.w=SCALAR_ONE;
[MAPPING0] oTexture0=iTexture0;
[PSFUNCTIONS]
float4 shade(vec4 c) { e = c*tint; e }
[SHADER] r1=sample(0,Tex0); r2.x=sin(Diffuse.x); Out=shade(r1)*r2.x;
[RENDER_STATE] TEXTURE[0] Decal
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=iPos*4WVP;
)",
     1, REGRESSION_EFFECT},
    {"outputs", R"(# built-ins that read their destination, written straight into output registers
[VERTEXFORMAT] XYZ NORMAL TEX0
[DEFINES] VECTOR a;
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=tgt(iPos,iNorm);
[DIFFUSE] oDiffuse=sin(a.x);
[SPECULAR] oSpecular=acos(a.y);
[MAPPING0] oTexture0=tan(iTexture0.x);
)",
     0, REGRESSION_EFFECT},
    {"loops", R"([VERTEXFORMAT] XYZ
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR step;
[TECHNIQUE] All
[PASS0]
[POSITION] p=iPos; rep(4); p=p+step; if(p.y>=step.w)break; endrep; oPos=p*4WORLDVIEWPROJ;
)",
     0, REGRESSION_DEVICE_REFUSES},
    {"clamp", R"([VERTEXFORMAT] XYZ
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR lo; VECTOR hi;
[TECHNIQUE] All
[PASS0]
[POSITION] p=clamp(iPos,lo,hi); oPos=p*4WORLDVIEWPROJ;
)",
     0, REGRESSION_DEVICE_REFUSES},
    {"hlsl only", R"([VERTEXFORMAT] XYZ
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR e;
[TECHNIQUE] All
[PASS0]
[POSITION] p=pow(iPos,e); s=smoothstep(e,p,iPos); oPos=s*4WORLDVIEWPROJ;
)",
     0, REGRESSION_NO_FORM},
    {"model 3", R"([VERTEXFORMAT] XYZ NORMAL
[DEFINES] MATRIX WORLDVIEWPROJ; VECTOR e;
[TECHNIQUE] MODEL3
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
[DIFFUSE] oDiffuse=pow(saturate(iNorm),e);
[TECHNIQUE] All
[PASS0]
[POSITION] oPos=iPos*4WORLDVIEWPROJ;
)",
     0, REGRESSION_DEVICE_REFUSES},
};
