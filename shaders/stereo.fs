// Anaglyph composition: both views are linearised with the display gamma, the view
// behind filter A is reduced to one luminance value, and the colour matrix maps
// (right colour, left luminance) to the colour that the glasses separate again.
uniform sampler2D texL;
uniform sampler2D texR;
uniform vec4 filtL;   // (Y(LEFT), gamma)
uniform mat4 fc;
uniform vec4 mapCol;  // (Y(LEFT), gamma)

void main()
{
    vec2 t = gl_TexCoord[0].st;
    vec4 pl = texture2D(texL, t);
    vec4 pr = texture2D(texR, t);
    vec3 tl = pl.rgb;
    vec3 tr = pr.rgb;
    // The views are cleared to transparent black and pictures are opaque: where neither
    // view shows a picture the screen stays black, whatever the colour mapping (the
    // restricted range lifts black to a dark colour).
    float shown = max(pl.a, pr.a);

    vec3 cl = pow(tl, vec3(filtL.a));
    vec3 cr = pow(tr, vec3(filtL.a));
    float yl = dot(cl, filtL.rgb);

    vec4 c = vec4(cr, yl);
    vec4 l = vec4(c.rgb * mapCol.z + mapCol.w, c.a * mapCol.x + mapCol.y);
    vec3 RsGsBs = (fc * l).rgb;

    // The halo-removing matrices can give negative components, and pow() of a
    // negative base is undefined in GLSL: such a component would show as garbage
    // on some drivers. Clamp to zero first; the glasses cannot show "less than black".
    RsGsBs = max(RsGsBs, vec3(0.0));
    gl_FragColor = vec4(pow(RsGsBs, vec3(1.0 / filtL.a)) * shown, 1.0);
}
